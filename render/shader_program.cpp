#include "shader_program.h"

#include <cstdio>

#include "embedded_resource.h"

namespace {

constexpr const char* shaderResourceType = "SHADER";

struct StageInfo {
    GLenum glType;
    const char* reportName;
};

StageInfo stageInfo(ShaderStage stage) {
    switch (stage) {
    case ShaderStage::Vertex:
        return {GL_VERTEX_SHADER, "VERTEX"};
    case ShaderStage::Fragment:
        return {GL_FRAGMENT_SHADER, "FRAGMENT"};
    case ShaderStage::Geometry:
        return {GL_GEOMETRY_SHADER, "GEOMETRY"};
    }
    return {GL_VERTEX_SHADER, "VERTEX"};
}

void printCompileReport(const char* stageName, const char* infoLog) {
    std::printf("ERROR::SHADER_COMPILATION_ERROR of type: %s\n%s%s\n", stageName, infoLog, shaderReportSeparator);
    std::fflush(stdout);
}

}  // namespace

ShaderProgram::ShaderProgram(int vertexResource, int fragmentResource) {
    GLuint vertexShader = 0;
    if (!compileStage(vertexResource, ShaderStage::Vertex, vertexShader)) {
        return;
    }
    GLuint fragmentShader = 0;
    if (!compileStage(fragmentResource, ShaderStage::Fragment, fragmentShader)) {
        glDeleteShader(vertexShader);
        return;
    }
    linkProgram(vertexShader, fragmentShader);
    // The program keeps its stages alive while they are attached.
    glDeleteShader(vertexShader);
    glDeleteShader(fragmentShader);
}

bool ShaderProgram::compileStage(int resource, ShaderStage stage, GLuint& shader) {
    const StageInfo info = stageInfo(stage);
    const EmbeddedResource source = loadResource(shaderResourceType, resource);
    if (source.data == nullptr) {
        // A missing source counts as a failed compile; no shader object is made.
        char log[shaderInfoLogCapacity];
        std::snprintf(log, sizeof log, "no SHADER resource %d is embedded", resource);
        printCompileReport(info.reportName, log);
        shader = 0;
        return false;
    }
    shader = glCreateShader(info.glType);
    // The resource holds exactly the text, with no terminating zero: pass its length.
    const auto* text = reinterpret_cast<const GLchar*>(source.data);
    const auto length = static_cast<GLint>(source.size);
    glShaderSource(shader, 1, &text, &length);
    glCompileShader(shader);
    GLint status = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    if (status == 0) {
        char log[shaderInfoLogCapacity] = {};
        glGetShaderInfoLog(shader, shaderInfoLogCapacity, nullptr, log);
        printCompileReport(info.reportName, log);
        glDeleteShader(shader);
        shader = 0;
        return false;
    }
    return true;
}

bool ShaderProgram::linkProgram(GLuint vertexShader, GLuint fragmentShader) {
    ID = glCreateProgram();
    glAttachShader(ID, vertexShader);
    glAttachShader(ID, fragmentShader);
    glLinkProgram(ID);
    GLint status = 0;
    glGetProgramiv(ID, GL_LINK_STATUS, &status);
    if (status == 0) {
        char log[shaderInfoLogCapacity] = {};
        glGetProgramInfoLog(ID, shaderInfoLogCapacity, nullptr, log);
        std::printf("ERROR::PROGRAM_LINKING_ERROR\n%s%s\n", log, shaderReportSeparator);
        std::fflush(stdout);
        return false;
    }
    return true;
}

void ShaderProgram::release() {
    glDeleteProgram(ID);
    ID = 0;
}

void ShaderProgram::setMatrix4(const char* name, const float* columnMajor) const {
    glUniformMatrix4fv(glGetUniformLocation(ID, name), 1, GL_FALSE, columnMajor);
}

void ShaderProgram::setVector4(const char* name, const float* values) const {
    glUniform4fv(glGetUniformLocation(ID, name), 1, values);
}

void ShaderProgram::setVector2(const char* name, const float* values) const {
    glUniform2fv(glGetUniformLocation(ID, name), 1, values);
}

void ShaderProgram::setFloat(const char* name, float value) const {
    glUniform1f(glGetUniformLocation(ID, name), value);
}
