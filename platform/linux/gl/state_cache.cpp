#include "state_cache.h"

#include "color.h"

#include <cstring>

namespace gl_d3d8 {

namespace {

const GLenum kCapabilities[8] = {GL_DEPTH_TEST, GL_BLEND,       GL_CULL_FACE,    GL_ALPHA_TEST,
                                 GL_LIGHTING,   GL_MULTISAMPLE, GL_SCISSOR_TEST, GL_COLOR_MATERIAL};
const GLenum kClientStates[4] = {GL_VERTEX_ARRAY, GL_NORMAL_ARRAY, GL_COLOR_ARRAY,
                                 GL_SECONDARY_COLOR_ARRAY};

bool SameCombine(const UnitCombine& a, const UnitCombine& b) {
    return std::memcmp(&a, &b, sizeof(UnitCombine)) == 0;
}

}  // namespace

void GlStateCache::invalidate() {
    for (size_t i = 0; i < capabilities_.size(); ++i)
        capabilities_[i] = {kCapabilities[i], kUnknown};
    for (size_t i = 0; i < clientStates_.size(); ++i)
        clientStates_[i] = {kClientStates[i], kUnknown};
    depthMask_ = kUnknown;
    colorMask_ = -1;
    depthFunc_ = blendSource_ = blendDestination_ = alphaFunc_ = cullFace_ = frontFace_ = 0;
    alphaReference_ = -1.0f;
    activeUnit_ = clientActiveUnit_ = -1;
    textureEnabled_.fill(kUnknown);
    texCoordArray_.fill(kUnknown);
    textureKnown_.fill(false);
    samplerKnown_.fill(false);
    combineKnown_.fill(false);
    envColorKnown_.fill(false);
    modelViewKnown_ = projectionKnown_ = false;
    matrixMode_ = 0;
    arrayBufferKnown_ = elementBufferKnown_ = false;
    colorWhite_ = false;
}

void GlStateCache::enable(GLenum capability, bool on) {
    for (Capability& c : capabilities_) {
        if (c.name != capability) continue;
        if (c.state == (on ? kOn : kOff)) return;
        c.state = on ? kOn : kOff;
        break;
    }
    if (on) {
        glEnable(capability);
    } else {
        glDisable(capability);
    }
}

void GlStateCache::depthMask(bool on) {
    if (depthMask_ == (on ? kOn : kOff)) return;
    depthMask_ = on ? kOn : kOff;
    glDepthMask(on ? GL_TRUE : GL_FALSE);
}

void GlStateCache::colorMask(uint32_t rgbaBits) {
    if (colorMask_ == rgbaBits) return;
    colorMask_ = rgbaBits;
    glColorMask((rgbaBits & 1) != 0, (rgbaBits & 2) != 0, (rgbaBits & 4) != 0, (rgbaBits & 8) != 0);
}

void GlStateCache::depthFunc(GLenum func) {
    if (depthFunc_ == func) return;
    depthFunc_ = func;
    glDepthFunc(func);
}

void GlStateCache::blendFunc(GLenum source, GLenum destination) {
    if (blendSource_ == source && blendDestination_ == destination) return;
    blendSource_ = source;
    blendDestination_ = destination;
    glBlendFunc(source, destination);
}

void GlStateCache::alphaFunc(GLenum func, GLfloat reference) {
    if (alphaFunc_ == func && alphaReference_ == reference) return;
    alphaFunc_ = func;
    alphaReference_ = reference;
    glAlphaFunc(func, reference);
}

void GlStateCache::cullFace(GLenum face) {
    if (cullFace_ == face) return;
    cullFace_ = face;
    glCullFace(face);
}

void GlStateCache::frontFace(GLenum winding) {
    if (frontFace_ == winding) return;
    frontFace_ = winding;
    glFrontFace(winding);
}

void GlStateCache::activeUnit(int unit) {
    if (activeUnit_ == unit) return;
    activeUnit_ = unit;
    glActiveTexture(GL_TEXTURE0 + unit);
}

void GlStateCache::selectClientUnit(int unit) {
    if (clientActiveUnit_ == unit) return;
    clientActiveUnit_ = unit;
    glClientActiveTexture(GL_TEXTURE0 + unit);
}

void GlStateCache::bindForEditing(GLuint texture) {
    activeUnit(kEditingUnit);
    glBindTexture(GL_TEXTURE_2D, texture);
}

void GlStateCache::textureEnabled(int unit, bool on) {
    if (textureEnabled_[unit] == (on ? kOn : kOff)) return;
    textureEnabled_[unit] = on ? kOn : kOff;
    activeUnit(unit);
    if (on) {
        glEnable(GL_TEXTURE_2D);
    } else {
        glDisable(GL_TEXTURE_2D);
    }
}

void GlStateCache::bindTexture(int unit, GLuint texture) {
    if (textureKnown_[unit] && boundTexture_[unit] == texture) return;
    textureKnown_[unit] = true;
    boundTexture_[unit] = texture;
    activeUnit(unit);
    glBindTexture(GL_TEXTURE_2D, texture);
}

void GlStateCache::bindSampler(int unit, GLuint sampler) {
    if (samplerKnown_[unit] && boundSampler_[unit] == sampler) return;
    samplerKnown_[unit] = true;
    boundSampler_[unit] = sampler;
    glBindSampler(unit, sampler);
}

void GlStateCache::combine(int unit, const UnitCombine& s) {
    if (combineKnown_[unit] && SameCombine(combine_[unit], s)) return;
    const UnitCombine old = combine_[unit];
    const bool known = combineKnown_[unit];
    combine_[unit] = s;
    combineKnown_[unit] = true;
    activeUnit(unit);
    auto set = [&](GLenum name, GLint value, GLint previous) {
        if (!known || value != previous) glTexEnvi(GL_TEXTURE_ENV, name, value);
    };
    set(GL_COMBINE_RGB, s.combineRgb, old.combineRgb);
    set(GL_COMBINE_ALPHA, s.combineAlpha, old.combineAlpha);
    set(GL_SRC0_RGB, s.sourceRgb[0], old.sourceRgb[0]);
    set(GL_SRC1_RGB, s.sourceRgb[1], old.sourceRgb[1]);
    set(GL_OPERAND0_RGB, s.operandRgb[0], old.operandRgb[0]);
    set(GL_OPERAND1_RGB, s.operandRgb[1], old.operandRgb[1]);
    set(GL_SRC0_ALPHA, s.sourceAlpha[0], old.sourceAlpha[0]);
    set(GL_SRC1_ALPHA, s.sourceAlpha[1], old.sourceAlpha[1]);
    set(GL_OPERAND0_ALPHA, s.operandAlpha[0], old.operandAlpha[0]);
    set(GL_OPERAND1_ALPHA, s.operandAlpha[1], old.operandAlpha[1]);
    if (!known || s.rgbScale != old.rgbScale) glTexEnvf(GL_TEXTURE_ENV, GL_RGB_SCALE, s.rgbScale);
    if (!known || s.alphaScale != old.alphaScale) {
        glTexEnvf(GL_TEXTURE_ENV, GL_ALPHA_SCALE, s.alphaScale);
    }
}

void GlStateCache::envColor(int unit, uint32_t argb) {
    if (envColorKnown_[unit] && envColor_[unit] == argb) return;
    envColorKnown_[unit] = true;
    envColor_[unit] = argb;
    activeUnit(unit);
    glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, ColorToFloats(argb).data());
}

void GlStateCache::loadMatrix(GLenum mode, const float* matrix, std::array<float, 16>& known,
                              bool& valid) {
    if (valid && std::memcmp(known.data(), matrix, sizeof(float) * 16) == 0) return;
    std::memcpy(known.data(), matrix, sizeof(float) * 16);
    valid = true;
    if (matrixMode_ != mode) {
        matrixMode_ = mode;
        glMatrixMode(mode);
    }
    glLoadMatrixf(matrix);
}

void GlStateCache::modelView(const float* matrix) {
    loadMatrix(GL_MODELVIEW, matrix, modelView_, modelViewKnown_);
}

void GlStateCache::projection(const float* matrix) {
    loadMatrix(GL_PROJECTION, matrix, projection_, projectionKnown_);
}

void GlStateCache::arrayBuffer(GLuint buffer) {
    if (arrayBufferKnown_ && arrayBuffer_ == buffer) return;
    arrayBufferKnown_ = true;
    arrayBuffer_ = buffer;
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
}

void GlStateCache::elementBuffer(GLuint buffer) {
    if (elementBufferKnown_ && elementBuffer_ == buffer) return;
    elementBufferKnown_ = true;
    elementBuffer_ = buffer;
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer);
}

void GlStateCache::bufferDeleted(GLuint buffer) {
    if (arrayBuffer_ == buffer) arrayBufferKnown_ = false;
    if (elementBuffer_ == buffer) elementBufferKnown_ = false;
}

void GlStateCache::textureDeleted(GLuint texture) {
    for (size_t unit = 0; unit < boundTexture_.size(); ++unit) {
        if (boundTexture_[unit] == texture) textureKnown_[unit] = false;
    }
}

void GlStateCache::clientState(GLenum array, bool on) {
    for (Capability& c : clientStates_) {
        if (c.name != array) continue;
        if (c.state == (on ? kOn : kOff)) return;
        c.state = on ? kOn : kOff;
        break;
    }
    if (on) {
        glEnableClientState(array);
    } else {
        glDisableClientState(array);
    }
}

void GlStateCache::texCoordArray(int unit, bool on) {
    if (texCoordArray_[unit] == (on ? kOn : kOff)) return;
    texCoordArray_[unit] = on ? kOn : kOff;
    selectClientUnit(unit);
    if (on) {
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    } else {
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
}

void GlStateCache::currentColorWhite() {
    if (colorWhite_) return;
    colorWhite_ = true;
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
}

}  // namespace gl_d3d8
