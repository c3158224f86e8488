// A managed vertex buffer: a system-memory copy that Lock hands out and a GL
// buffer object that Unlock brings up to date.
#pragma once

#include "../d3d8.h"
#include "gl_headers.h"
#include "resource.h"
#include "state_cache.h"

#include <cstdlib>
#include <memory>

namespace gl_d3d8 {


class GlVertexBuffer : public GlResource<IDirect3DVertexBuffer8> {
public:
    static HRESULT Create(ResourceHost* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                          IDirect3DVertexBuffer8** result);

    D3DRESOURCETYPE GetType() override { return D3DRTYPE_VERTEXBUFFER; }
    HRESULT Lock(UINT offsetToLock, UINT sizeToLock, BYTE** data, DWORD flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(D3DVERTEXBUFFER_DESC* desc) override;

    // The GL buffer, with its contents sent first if no unlock has yet:
    // a new buffer reads as its zeroed memory does.
    GLuint uploadedBuffer() {
        if (!uploaded_) uploadAll();
        return buffer_;
    }
    UINT length() const { return length_; }
    // The system-memory copy, as the last unlock left it.
    const BYTE* contents() const { return memory_.get(); }

protected:
    ~GlVertexBuffer() override;

private:
    struct FreeDeleter {
        void operator()(BYTE* memory) const { std::free(memory); }
    };
    using Memory = std::unique_ptr<BYTE[], FreeDeleter>;
    GlVertexBuffer(ResourceHost* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                   Memory memory);
    void uploadAll();

    UINT length_;
    DWORD usage_, fvf_;
    D3DPOOL pool_;
    Memory memory_;
    GLuint buffer_ = 0;
    bool locked_ = false;
    bool uploaded_ = false;  // the GL buffer holds memory_
    UINT lockOffset_ = 0, lockSize_ = 0;
};

}  // namespace gl_d3d8
