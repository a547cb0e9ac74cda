#include <gtest/gtest.h>

#include <string>

#include "embedded_resource.h"
#include "gl_test_window.h"
#include "shader_program.h"

namespace {

constexpr int layerVertex = 129;
constexpr int maskFragment = 130;
constexpr int textFragment = 131;
constexpr int scrollingVertex = 132;
constexpr int absentShader = 999;

const std::string separatorLine = std::string(shaderReportSeparator) + "\n";

int occurrences(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

class ShaderProgramTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(window_.ready()); }
    GlTestWindow window_{64, 64};
};

}  // namespace

// The embedded sources are exactly GLSL 3.30 text: no zero byte, no terminator of their own.
TEST_F(ShaderProgramTest, SourcesAreBareText) {
    for (int identifier : {layerVertex, maskFragment, textFragment, scrollingVertex}) {
        const EmbeddedResource source = loadResource("SHADER", identifier);
        ASSERT_NE(source.data, nullptr) << identifier;
        const std::string text(reinterpret_cast<const char*>(source.data), source.size);
        EXPECT_EQ(text.rfind("#version 330 core\n", 0), 0u) << identifier;
        EXPECT_EQ(text.find('\0'), std::string::npos) << identifier;
    }
}

// The three programs of the presentation build silently into distinct programs.
TEST_F(ShaderProgramTest, PresentationProgramsLink) {
    testing::internal::CaptureStdout();
    ShaderProgram logo(layerVertex, textFragment);
    ShaderProgram text(layerVertex, textFragment);
    ShaderProgram background(scrollingVertex, maskFragment);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    for (const ShaderProgram* program : {&logo, &text, &background}) {
        ASSERT_NE(program->ID, 0u);
        GLint linked = 0;
        glGetProgramiv(program->ID, GL_LINK_STATUS, &linked);
        EXPECT_EQ(linked, GL_TRUE);
    }
    EXPECT_NE(logo.ID, text.ID);
    logo.release();
    EXPECT_EQ(logo.ID, 0u);
    text.release();
    background.release();
}

// Programs from the same sources keep their own uniform values.
TEST_F(ShaderProgramTest, UniformsBelongToOneProgram) {
    ShaderProgram first(layerVertex, textFragment);
    ShaderProgram second(layerVertex, textFragment);
    glUseProgram(first.ID);
    first.setFloat("scale", 2.0f);
    glUseProgram(second.ID);
    second.setFloat("scale", 3.0f);
    float firstScale = 0.0f;
    float secondScale = 0.0f;
    glGetUniformfv(first.ID, glGetUniformLocation(first.ID, "scale"), &firstScale);
    glGetUniformfv(second.ID, glGetUniformLocation(second.ID, "scale"), &secondScale);
    EXPECT_EQ(firstScale, 2.0f);
    EXPECT_EQ(secondScale, 3.0f);
    // A name the program lacks is ignored.
    second.setFloat("time", 1.0f);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    first.release();
    second.release();
}

// A missing vertex source is a compile failure: one VERTEX report, the
// fragment stage is never compiled, no program exists.
TEST_F(ShaderProgramTest, MissingVertexSource) {
    testing::internal::CaptureStdout();
    ShaderProgram program(absentShader, absentShader);
    const std::string output = testing::internal::GetCapturedStdout();
    EXPECT_EQ(output.rfind("ERROR::SHADER_COMPILATION_ERROR of type: VERTEX\n", 0), 0u) << output;
    EXPECT_EQ(occurrences(output, "ERROR::"), 1) << output;
    ASSERT_GE(output.size(), separatorLine.size());
    EXPECT_EQ(output.substr(output.size() - separatorLine.size()), separatorLine);
    EXPECT_EQ(program.ID, 0u);
}

// A missing fragment source prints one FRAGMENT report; the vertex stage
// compiled, but no program is created.
TEST_F(ShaderProgramTest, MissingFragmentSource) {
    testing::internal::CaptureStdout();
    ShaderProgram program(layerVertex, absentShader);
    const std::string output = testing::internal::GetCapturedStdout();
    EXPECT_EQ(output.rfind("ERROR::SHADER_COMPILATION_ERROR of type: FRAGMENT\n", 0), 0u) << output;
    EXPECT_EQ(occurrences(output, "ERROR::"), 1) << output;
    EXPECT_EQ(program.ID, 0u);
}

// A source GL rejects (a vertex source compiled as a geometry stage, whose
// inputs must be arrays) reports the stage name and GL's info log, then the separator.
TEST_F(ShaderProgramTest, CompileErrorCarriesTheInfoLog) {
    GLuint shader = 12345;
    testing::internal::CaptureStdout();
    const bool compiled = ShaderProgram::compileStage(scrollingVertex, ShaderStage::Geometry, shader);
    const std::string output = testing::internal::GetCapturedStdout();
    const std::string header = "ERROR::SHADER_COMPILATION_ERROR of type: GEOMETRY\n";
    EXPECT_FALSE(compiled);
    EXPECT_EQ(shader, 0u);
    EXPECT_EQ(output.rfind(header, 0), 0u) << output;
    EXPECT_GT(output.size(), header.size() + separatorLine.size() + 5) << "the GL info log is part of the report";
    ASSERT_GE(output.size(), separatorLine.size());
    EXPECT_EQ(output.substr(output.size() - separatorLine.size()), separatorLine);
}

// A link failure (two vertex stages, two mains) prints the link report and
// leaves ID naming the unlinked program.
TEST_F(ShaderProgramTest, LinkFailure) {
    GLuint first = 0;
    GLuint second = 0;
    ASSERT_TRUE(ShaderProgram::compileStage(layerVertex, ShaderStage::Vertex, first));
    ASSERT_TRUE(ShaderProgram::compileStage(scrollingVertex, ShaderStage::Vertex, second));
    testing::internal::CaptureStdout();
    ShaderProgram program(absentShader, absentShader);  // no program yet
    testing::internal::GetCapturedStdout();
    testing::internal::CaptureStdout();
    const bool linked = program.linkProgram(first, second);
    const std::string output = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(linked);
    EXPECT_EQ(output.rfind("ERROR::PROGRAM_LINKING_ERROR\n", 0), 0u) << output;
    EXPECT_EQ(output.substr(output.size() - separatorLine.size()), separatorLine);
    EXPECT_NE(program.ID, 0u);
    EXPECT_EQ(glIsProgram(program.ID), GL_TRUE);
    glDeleteShader(first);
    glDeleteShader(second);
    program.release();
}
