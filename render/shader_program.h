// One linked GL program built from two embedded GLSL sources. Build failures
// are reported on standard output and never stop the program.
#pragma once

#include <cstdint>

#include "gl_loader.h"

enum class ShaderStage : int32_t { Vertex = 0, Fragment = 1, Geometry = 2 };

// Info logs are read into a buffer of this many characters, terminating zero included.
inline constexpr GLsizei shaderInfoLogCapacity = 1024;

// Ends every compile and link report (after the info log).
inline constexpr const char* shaderReportSeparator = "\n -- --------------------------------------------------- -- ";

class ShaderProgram {
public:
    // Compiles the "SHADER" resources (vertex first) and links them. On a
    // compile failure ID stays 0; on a link failure it names the unlinked program.
    ShaderProgram(int vertexResource, int fragmentResource);

    // Compiles one stage from a "SHADER" resource into `shader`; false (after
    // the report) when the source is missing or does not compile.
    static bool compileStage(int resource, ShaderStage stage, GLuint& shader);

    // Creates the program into ID, attaches both stages and links; false
    // (after the report) when linking fails.
    bool linkProgram(GLuint vertexShader, GLuint fragmentShader);

    // Deletes the GL program; needs the context current.
    void release();

    // Uniform setters for the program that is current; the location is
    // looked up by name at every call, and an unknown name does nothing.
    void setMatrix4(const char* name, const float* columnMajor) const;
    void setVector4(const char* name, const float* values) const;
    void setVector2(const char* name, const float* values) const;
    void setFloat(const char* name, float value) const;

    GLuint ID = 0;
};
