// The GL state this device last set, so that a state change that changes
// nothing never reaches GL. The frame sets a dozen stage states and two
// texture bindings per face, nearly all of them repeats; each redundant GL
// call would cost about as much as the useful ones.
#pragma once

#include "device_limits.h"
#include "gl_headers.h"

#include <array>
#include <cstdint>

namespace gl_d3d8 {

// One texture unit's GL_COMBINE set-up: the GL form of a Direct3D stage's
// colour and alpha operation with their two arguments.
struct UnitCombine {
    GLint combineRgb = GL_MODULATE;
    GLint combineAlpha = GL_MODULATE;
    GLint sourceRgb[2] = {GL_TEXTURE, GL_PREVIOUS};
    GLint operandRgb[2] = {GL_SRC_COLOR, GL_SRC_COLOR};
    GLint sourceAlpha[2] = {GL_TEXTURE, GL_PREVIOUS};
    GLint operandAlpha[2] = {GL_SRC_ALPHA, GL_SRC_ALPHA};
    GLfloat rgbScale = 1.0f;
    GLfloat alphaScale = 1.0f;
};

struct SamplerSettings {
    GLint minFilter = GL_NEAREST_MIPMAP_NEAREST;
    GLint magFilter = GL_NEAREST;
    GLint wrapS = GL_REPEAT;
    GLint wrapT = GL_REPEAT;
    bool operator==(const SamplerSettings& o) const {
        return minFilter == o.minFilter && magFilter == o.magFilter && wrapS == o.wrapS &&
               wrapT == o.wrapT;
    }
};

class GlStateCache {
public:
    // Forgets everything: the next request of every state reaches GL.
    void invalidate();

    void enable(GLenum capability, bool on);
    void depthMask(bool on);
    void depthFunc(GLenum func);
    void blendFunc(GLenum source, GLenum destination);
    void alphaFunc(GLenum func, GLfloat reference);
    void cullFace(GLenum face);
    void frontFace(GLenum winding);
    void colorMask(uint32_t rgbaBits);

    void textureEnabled(int unit, bool on);
    void bindTexture(int unit, GLuint texture);
    void bindSampler(int unit, GLuint sampler);
    void combine(int unit, const UnitCombine& settings);
    void envColor(int unit, uint32_t argb);

    // Matrices in GL's column-major order (a Direct3D row-vector matrix as is).
    void modelView(const float* matrix);
    void projection(const float* matrix);

    void arrayBuffer(GLuint buffer);
    void elementBuffer(GLuint buffer);
    // GL drops the bindings of a deleted object, and its name may come back
    // for a new one: the cache must not believe it still bound.
    void bufferDeleted(GLuint buffer);
    void textureDeleted(GLuint texture);
    void clientState(GLenum array, bool on);
    void texCoordArray(int unit, bool on);
    // The colour used while the colour array is off; the array's last vertex
    // overwrites it, so drawing with the array marks it unknown.
    void currentColorWhite();
    void colorArrayUsed() { colorWhite_ = false; }

    // Makes a unit current for glTexCoordPointer and similar per-unit calls.
    void selectClientUnit(int unit);
    // Binds a texture on kEditingUnit, for the calls that make and fill it.
    void bindForEditing(GLuint texture);

private:
    enum Known : int8_t { kUnknown = -1, kOff = 0, kOn = 1 };
    struct Capability {
        GLenum name;
        Known state;
    };
    void activeUnit(int unit);
    void loadMatrix(GLenum mode, const float* matrix, std::array<float, 16>& known, bool& valid);

    std::array<Capability, 8> capabilities_{};
    Known depthMask_ = kUnknown;
    int64_t colorMask_ = -1;
    GLenum depthFunc_ = 0;
    GLenum blendSource_ = 0, blendDestination_ = 0;
    GLenum alphaFunc_ = 0;
    GLfloat alphaReference_ = -1.0f;
    GLenum cullFace_ = 0, frontFace_ = 0;

    int activeUnit_ = -1, clientActiveUnit_ = -1;
    std::array<Known, kMaxStages> textureEnabled_{};
    std::array<GLuint, kMaxStages> boundTexture_{};
    std::array<bool, kMaxStages> textureKnown_{};
    std::array<GLuint, kMaxStages> boundSampler_{};
    std::array<bool, kMaxStages> samplerKnown_{};
    std::array<UnitCombine, kMaxStages> combine_{};
    std::array<bool, kMaxStages> combineKnown_{};
    std::array<uint32_t, kMaxStages> envColor_{};
    std::array<bool, kMaxStages> envColorKnown_{};

    std::array<float, 16> modelView_{}, projection_{};
    bool modelViewKnown_ = false, projectionKnown_ = false;
    GLenum matrixMode_ = 0;

    GLuint arrayBuffer_ = 0;
    bool arrayBufferKnown_ = false;
    GLuint elementBuffer_ = 0;
    bool elementBufferKnown_ = false;
    std::array<Capability, 4> clientStates_{};
    std::array<Known, kMaxStages> texCoordArray_{};
    bool colorWhite_ = false;
};

}  // namespace gl_d3d8
