#include "present_pass.h"

#include "device_limits.h"

#include <initializer_list>

namespace gl_d3d8 {

namespace {

// The rectangle's corners come from the vertex number alone, so the pass
// needs no vertex data and leaves the device's arrays alone.
const char* const kVertexShader = R"(#version 330
out vec2 texel;
void main() {
    vec2 corner = vec2(float(gl_VertexID & 1), float(gl_VertexID >> 1));
    texel = vec2(corner.x, 1.0 - corner.y);
    gl_Position = vec4(corner * 2.0 - 1.0, 0.0, 1.0);
}
)";

const char* const kFragmentShader = R"(#version 330
uniform sampler2D frame;
in vec2 texel;
out vec4 color;
void main() { color = texture(frame, texel); }
)";

GLuint CompiledShader(GLenum kind, const char* source) {
    const GLuint shader = glCreateShader(kind);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint compiled = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled == GL_TRUE) return shader;
    glDeleteShader(shader);
    return 0;
}

}  // namespace

bool PresentPass::build() {
    const GLuint vertex = CompiledShader(GL_VERTEX_SHADER, kVertexShader);
    const GLuint fragment = CompiledShader(GL_FRAGMENT_SHADER, kFragmentShader);
    if (vertex && fragment) {
        program_ = glCreateProgram();
        glAttachShader(program_, vertex);
        glAttachShader(program_, fragment);
        glLinkProgram(program_);
    }
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    GLint linked = GL_FALSE;
    if (program_) glGetProgramiv(program_, GL_LINK_STATUS, &linked);
    if (linked != GL_TRUE) {
        release();
        return false;
    }
    glUseProgram(program_);
    // The frame is sampled on the editing unit, past every stage the device
    // drives, so the stages' bindings stay as the cache knows them.
    glUniform1i(glGetUniformLocation(program_, "frame"), kEditingUnit);
    glUseProgram(0);
    glGenVertexArrays(1, &vertexArray_);
    return true;
}

bool PresentPass::draw(GLuint frame, GLsizei width, GLsizei height, GLsizei toWidth,
                       GLsizei toHeight) {
    if (failed_) return false;
    if (!program_ && !build()) {
        failed_ = true;
        return false;
    }
    // Only what the device may have left on reaches the rectangle's pixels
    // (a shader program replaces texturing, lighting and fog).
    for (GLenum capability :
         {GL_BLEND, GL_ALPHA_TEST, GL_CULL_FACE, GL_SCISSOR_TEST, GL_DEPTH_TEST}) {
        cache_.enable(capability, false);
    }
    cache_.colorMask(0xF);
    cache_.bindForEditing(frame);
    const GLint filter = width == toWidth && height == toHeight ? GL_NEAREST : GL_LINEAR;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glViewport(0, 0, toWidth, toHeight);
    glUseProgram(program_);
    glBindVertexArray(vertexArray_);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glBindVertexArray(0);
    glUseProgram(0);
    return true;
}

void PresentPass::release() {
    if (program_) glDeleteProgram(program_);
    if (vertexArray_) glDeleteVertexArrays(1, &vertexArray_);
    program_ = vertexArray_ = 0;
}

}  // namespace gl_d3d8
