// The desktop shaders are GLSL 3.30 and their resource bytes stay as they
// are; WebGL 2 compiles GLSL ES 3.00, which differs from them only in the
// version line and the default float precision a fragment shader must name.
// Textures: ES 3.0 takes a one-channel image only with a sized format (R8),
// and an unsized format must match the data's, where desktop GL converts.
#include "web_gl_lookup.h"

#include <GLES3/gl3.h>
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view versionDirective = "#version";
constexpr std::string_view webVersionLines = "#version 300 es\nprecision highp float;\n";

// The sources joined, with the first #version line replaced.
std::string webShaderText(GLsizei count, const GLchar* const* strings, const GLint* lengths) {
    std::string text;
    for (GLsizei index = 0; index < count; ++index) {
        if (lengths != nullptr && lengths[index] >= 0) {
            text.append(strings[index], static_cast<size_t>(lengths[index]));
        } else {
            text.append(strings[index]);
        }
    }
    const size_t start = text.find(versionDirective);
    if (start == std::string::npos) {
        return std::string(webVersionLines) + text;
    }
    size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    text.replace(start, end - start, webVersionLines);
    return text;
}

void shaderSourceForWeb(GLuint shader, GLsizei count, const GLchar* const* strings, const GLint* lengths) {
    const std::string text = webShaderText(count, strings, lengths);
    const GLchar* pointer = text.c_str();
    const auto length = static_cast<GLint>(text.size());
    glShaderSource(shader, 1, &pointer, &length);
}

void texImage2DForWeb(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height, GLint border,
                      GLenum format, GLenum type, const void* pixels) {
    if (internalFormat == GL_RED && format == GL_RED) {
        internalFormat = GL_R8;
    } else if (internalFormat == GL_RGBA && format == GL_RGB) {
        // The same texels: an RGB texture reads alpha 1, as the desktop's fill.
        internalFormat = GL_RGB;
    }
    glTexImage2D(target, level, internalFormat, width, height, border, format, type, pixels);
}

}  // namespace

void* webGlLookup(const char* name) {
    if (std::strcmp(name, "glShaderSource") == 0) {
        return reinterpret_cast<void*>(shaderSourceForWeb);
    }
    if (std::strcmp(name, "glTexImage2D") == 0) {
        return reinterpret_cast<void*>(texImage2DForWeb);
    }
    return reinterpret_cast<void*>(glfwGetProcAddress(name));
}
