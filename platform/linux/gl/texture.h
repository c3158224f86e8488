// A managed texture: one system-memory copy per mip level in the Direct3D
// format (what LockRect hands out, with its real pitch) and a GL texture that
// UnlockRect brings up to date. 32-bit texels go up as they are; the others
// are converted to 8-bit BGRA.
#pragma once

#include "../d3d8.h"
#include "gl_headers.h"
#include "resource.h"
#include "state_cache.h"

#include <cstdlib>
#include <memory>
#include <vector>

namespace gl_d3d8 {

class GlTexture : public GlResource<IDirect3DTexture8> {
public:
    static HRESULT Create(ResourceHost* device, UINT width, UINT height, UINT levels, DWORD usage,
                          D3DFORMAT format, D3DPOOL pool, IDirect3DTexture8** result);

    D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
    DWORD GetLevelCount() override { return static_cast<DWORD>(levels_.size()); }
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* lockedRect, const RECT* rect,
                     DWORD flags) override;
    HRESULT UnlockRect(UINT level) override;

    // The GL texture, with every level that was never unlocked uploaded
    // first: a new texture samples as its zeroed memory does.
    GLuint sampledTexture() {
        if (neverUploaded_) uploadUnwrittenLevels();
        return texture_;
    }

    // Every texel of every level has alpha 255 as sampled, so blending it
    // over the frame with its own alpha changes nothing.
    bool opaque() const;

protected:
    ~GlTexture() override;

private:
    struct FreeDeleter {
        void operator()(BYTE* memory) const { std::free(memory); }
    };
    struct Level {
        UINT width, height, pitch;
        std::unique_ptr<BYTE[], FreeDeleter> texels;
        bool locked = false;
        bool uploaded = false;
        bool opaque = false;  // as last uploaded
    };
    GlTexture(ResourceHost* device, D3DFORMAT format, DWORD usage, D3DPOOL pool,
              std::vector<Level> levels);
    void upload(UINT level);
    void uploadUnwrittenLevels();

    D3DFORMAT format_;
    DWORD usage_;
    D3DPOOL pool_;
    std::vector<Level> levels_;
    GLuint texture_ = 0;
    bool neverUploaded_ = true;  // some level has not reached GL yet
};

}  // namespace gl_d3d8
