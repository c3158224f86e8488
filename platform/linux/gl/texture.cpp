#include "texture.h"

#include "../../texel_layout.h"
#include "device_limits.h"
#include "formats.h"

#include <new>

namespace gl_d3d8 {

namespace {

// Rows start on 4-byte boundaries, as Direct3D drivers lay them out.
UINT PitchFor(UINT width, UINT bytesPerTexel) { return (width * bytesPerTexel + 3u) & ~3u; }

bool AllAlphaFull(const uint32_t* argb, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if ((argb[i] >> 24) != 0xFF) return false;
    }
    return true;
}

}  // namespace

HRESULT GlTexture::Create(ResourceHost* device, UINT width, UINT height, UINT levels, DWORD usage,
                          D3DFORMAT format, D3DPOOL pool, IDirect3DTexture8** result) {
    if (!result) return D3DERR_INVALIDCALL;
    *result = nullptr;
    const UINT bytesPerTexel = texel_layout::BytesPerTexel(format);
    if (width == 0 || height == 0) return D3DERR_INVALIDCALL;
    if (bytesPerTexel == 0) return D3DERR_INVALIDCALL;
    if (usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) return D3DERR_INVALIDCALL;
    if (pool != D3DPOOL_MANAGED && pool != D3DPOOL_DEFAULT && pool != D3DPOOL_SYSTEMMEM) {
        return D3DERR_INVALIDCALL;
    }
    const UINT maxSize = static_cast<UINT>(ProbeGl().maxTextureSize);
    if (width > maxSize || height > maxSize) return D3DERR_INVALIDCALL;
    const UINT chain = texel_layout::MipChainLength(width, height);
    if (levels == 0 || levels > chain) levels = chain;

    uint64_t total = 0;
    std::vector<Level> chainLevels;
    UINT w = width, h = height;
    for (UINT i = 0; i < levels; ++i) {
        const UINT pitch = PitchFor(w, bytesPerTexel);
        total += uint64_t(pitch) * h;
        chainLevels.push_back(Level{w, h, pitch, nullptr, false, false});
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
    }
    if (total > kMaxTextureBytes) return D3DERR_OUTOFVIDEOMEMORY;
    for (Level& level : chainLevels) {
        // Zeroed, as a new managed texture reads; calloc gets fresh pages
        // without clearing them again.
        level.texels.reset(static_cast<BYTE*>(std::calloc(size_t(level.pitch) * level.height, 1)));
        if (!level.texels) return E_OUTOFMEMORY;
    }
    if (!device->makeCurrent()) return D3DERR_INVALIDCALL;
    GlTexture* texture = new GlTexture(device, format, usage, pool, std::move(chainLevels));
    if (glGetError() == GL_OUT_OF_MEMORY) {
        texture->Release();
        return D3DERR_OUTOFVIDEOMEMORY;
    }
    *result = texture;
    return D3D_OK;
}

GlTexture::GlTexture(ResourceHost* device, D3DFORMAT format, DWORD usage, D3DPOOL pool,
                     std::vector<Level> levels)
    : GlResource(device), format_(format), usage_(usage), pool_(pool), levels_(std::move(levels)) {
    glGetError();
    glGenTextures(1, &texture_);
    device_->cache().bindForEditing(texture_);
    for (size_t i = 0; i < levels_.size(); ++i) {
        glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(i), GL_RGBA8,
                     static_cast<GLsizei>(levels_[i].width),
                     static_cast<GLsizei>(levels_[i].height), 0, GL_BGRA,
                     GL_UNSIGNED_INT_8_8_8_8_REV, nullptr);
    }
    // Without this a texture with fewer levels than a full chain would be
    // incomplete under a mipmapping filter; Direct3D samples what exists.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(levels_.size() - 1));
    // X8R8G8B8 texels go up as they are, whatever their unused byte holds:
    // sampling reads their alpha as one.
    if (format_ == D3DFMT_X8R8G8B8) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, GL_ONE);
    // No level is uploaded here: the first unlock or the first draw that
    // samples the texture does it (see sampledTexture).
}

GlTexture::~GlTexture() {
    if (texture_ && device_->makeCurrent()) {
        device_->cache().textureDeleted(texture_);
        glDeleteTextures(1, &texture_);
    }
}

HRESULT GlTexture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
    if (!desc || level >= levels_.size()) return D3DERR_INVALIDCALL;
    const Level& l = levels_[level];
    desc->Format = format_;
    desc->Type = D3DRTYPE_SURFACE;
    desc->Usage = usage_;
    desc->Pool = pool_;
    desc->Size = l.pitch * l.height;
    desc->MultiSampleType = D3DMULTISAMPLE_NONE;
    desc->Width = l.width;
    desc->Height = l.height;
    return D3D_OK;
}

HRESULT GlTexture::LockRect(UINT level, D3DLOCKED_RECT* lockedRect, const RECT* rect,
                            DWORD /*flags*/) {
    if (!lockedRect || level >= levels_.size()) return D3DERR_INVALIDCALL;
    Level& l = levels_[level];
    if (l.locked) return D3DERR_INVALIDCALL;
    size_t offset = 0;
    if (rect) {
        if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right ||
            rect->top >= rect->bottom || UINT(rect->right) > l.width ||
            UINT(rect->bottom) > l.height) {
            return D3DERR_INVALIDCALL;
        }
        offset = size_t(rect->top) * l.pitch +
                 size_t(rect->left) * texel_layout::BytesPerTexel(format_);
    }
    l.locked = true;
    lockedRect->Pitch = static_cast<INT>(l.pitch);
    lockedRect->pBits = l.texels.get() + offset;
    return D3D_OK;
}

HRESULT GlTexture::UnlockRect(UINT level) {
    if (level >= levels_.size() || !levels_[level].locked) return D3DERR_INVALIDCALL;
    levels_[level].locked = false;
    device_->flushBatch();
    if (device_->makeCurrent()) {
        upload(level);
        neverUploaded_ = false;
        for (const Level& l : levels_) neverUploaded_ = neverUploaded_ || !l.uploaded;
        device_->texelsChanged();
    }
    return D3D_OK;
}

void GlTexture::upload(UINT level) {
    Level& l = levels_[level];
    l.uploaded = true;
    // 0xAARRGGBB words are GL_BGRA / GL_UNSIGNED_INT_8_8_8_8_REV in memory.
    const void* texels = l.texels.get();
    std::vector<uint32_t> converted;
    if (format_ != D3DFMT_A8R8G8B8 && format_ != D3DFMT_X8R8G8B8) {
        converted.resize(size_t(l.width) * l.height);
        for (UINT y = 0; y < l.height; ++y) {
            ConvertRowToArgb(format_, l.texels.get() + size_t(y) * l.pitch, l.width,
                             converted.data() + size_t(y) * l.width);
        }
        texels = converted.data();
    }
    l.opaque = format_ == D3DFMT_X8R8G8B8 ||
               AllAlphaFull(static_cast<const uint32_t*>(texels), size_t(l.width) * l.height);
    // Row 0 of a Direct3D surface is its top row and is addressed by v = 0;
    // GL addresses its first row by t = 0 as well, so rows go up unflipped.
    // 32-bit rows are whole words, so the pitch is always width * 4.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    device_->cache().bindForEditing(texture_);
    glTexSubImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), 0, 0, static_cast<GLsizei>(l.width),
                    static_cast<GLsizei>(l.height), GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, texels);
}

bool GlTexture::opaque() const {
    for (const Level& l : levels_) {
        if (!l.opaque) return false;
    }
    return true;
}

void GlTexture::uploadUnwrittenLevels() {
    for (UINT i = 0; i < levels_.size(); ++i) {
        if (!levels_[i].uploaded) upload(i);
    }
    neverUploaded_ = false;
}

}  // namespace gl_d3d8
