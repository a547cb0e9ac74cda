#include <gtest/gtest.h>

#include <string>

#include "gl_test_harness.h"
#include "shader_program.h"

namespace {

constexpr int layerVertex = 129;
constexpr int maskFragment = 130;
constexpr int textFragment = 131;
constexpr int scrollingVertex = 132;
constexpr int absentShader = 999;

// Whether a report starts with `header` and ends with the separator line.
bool isReport(const std::string& output, const std::string& header) {
    const std::string separator = std::string(shaderReportSeparator) + "\n";
    return output.rfind(header, 0) == 0 && output.size() >= header.size() + separator.size() &&
           output.compare(output.size() - separator.size(), separator.size(), separator) == 0;
}

class ShaderProgramTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(window_.ready()); }
    GlTestWindow window_{64, 64};
};

}  // namespace

// The presentation's programs build silently into distinct linked programs.
TEST_F(ShaderProgramTest, PresentationProgramsLink) {
    testing::internal::CaptureStdout();
    ShaderProgram logo(layerVertex, textFragment);
    ShaderProgram text(layerVertex, textFragment);
    ShaderProgram background(scrollingVertex, maskFragment);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_NE(logo.ID, text.ID);
    for (ShaderProgram* program : {&logo, &text, &background}) {
        GLint linked = 0;
        glGetProgramiv(program->ID, GL_LINK_STATUS, &linked);
        EXPECT_EQ(linked, GL_TRUE);
        program->release();
        EXPECT_EQ(program->ID, 0u);
    }
}

// A missing source is a compile failure: one report for its stage, no later stage compiled, no program.
TEST_F(ShaderProgramTest, MissingSource) {
    for (auto [vertex, header] : {std::pair{absentShader, "ERROR::SHADER_COMPILATION_ERROR of type: VERTEX\n"},
                                  {layerVertex, "ERROR::SHADER_COMPILATION_ERROR of type: FRAGMENT\n"}}) {
        testing::internal::CaptureStdout();
        ShaderProgram program(vertex, absentShader);
        const std::string output = testing::internal::GetCapturedStdout();
        EXPECT_TRUE(isReport(output, header)) << output;
        EXPECT_EQ(output.find("ERROR::", 1), std::string::npos) << output;
        EXPECT_EQ(program.ID, 0u);
    }
}

// A source GL rejects (a vertex source as a geometry stage) reports the stage and GL's info log.
TEST_F(ShaderProgramTest, CompileErrorCarriesTheInfoLog) {
    GLuint shader = 12345;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(ShaderProgram::compileStage(scrollingVertex, ShaderStage::Geometry, shader));
    const std::string output = testing::internal::GetCapturedStdout();
    const std::string header = "ERROR::SHADER_COMPILATION_ERROR of type: GEOMETRY\n";
    EXPECT_EQ(shader, 0u);
    EXPECT_TRUE(isReport(output, header)) << output;
    EXPECT_GT(output.size(), header.size() + std::string(shaderReportSeparator).size() + 6) << "no info log";
}

// A link failure (two vertex stages) prints the link report and leaves ID naming the unlinked program.
TEST_F(ShaderProgramTest, LinkFailure) {
    GLuint first = 0;
    GLuint second = 0;
    ASSERT_TRUE(ShaderProgram::compileStage(layerVertex, ShaderStage::Vertex, first));
    ASSERT_TRUE(ShaderProgram::compileStage(scrollingVertex, ShaderStage::Vertex, second));
    ShaderProgram program(layerVertex, textFragment);
    program.release();
    testing::internal::CaptureStdout();
    EXPECT_FALSE(program.linkProgram(first, second));
    const std::string output = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(isReport(output, "ERROR::PROGRAM_LINKING_ERROR\n")) << output;
    EXPECT_EQ(glIsProgram(program.ID), GL_TRUE);
    glDeleteShader(first);
    glDeleteShader(second);
    program.release();
}
