#include "vertex_buffer.h"

#include "device_limits.h"

namespace gl_d3d8 {

namespace {

// Buffers are filled through the copy-write binding, which no draw reads.
void BindForFilling(GLuint buffer) { glBindBuffer(GL_COPY_WRITE_BUFFER, buffer); }

}  // namespace

HRESULT GlVertexBuffer::Create(ResourceHost* device, UINT length, DWORD usage, DWORD fvf,
                               D3DPOOL pool, IDirect3DVertexBuffer8** result) {
    if (!result) return D3DERR_INVALIDCALL;
    *result = nullptr;
    if (length == 0) return D3DERR_INVALIDCALL;
    if (pool != D3DPOOL_MANAGED && pool != D3DPOOL_DEFAULT && pool != D3DPOOL_SYSTEMMEM) {
        return D3DERR_INVALIDCALL;
    }
    if (length > kMaxVertexBufferLength) return D3DERR_OUTOFVIDEOMEMORY;
    // Zeroed, as a new managed buffer reads; calloc gets fresh pages
    // without clearing them again.
    Memory memory(static_cast<BYTE*>(std::calloc(length, 1)));
    if (!memory) return E_OUTOFMEMORY;
    if (!device->makeCurrent()) return D3DERR_INVALIDCALL;
    glGetError();
    auto* buffer = new GlVertexBuffer(device, length, usage, fvf, pool, std::move(memory));
    if (glGetError() == GL_OUT_OF_MEMORY) {
        buffer->Release();
        return D3DERR_OUTOFVIDEOMEMORY;
    }
    *result = buffer;
    return D3D_OK;
}

GlVertexBuffer::GlVertexBuffer(ResourceHost* device, UINT length, DWORD usage, DWORD fvf,
                               D3DPOOL pool, Memory memory)
    : GlResource(device),
      length_(length),
      usage_(usage),
      fvf_(fvf),
      pool_(pool),
      memory_(std::move(memory)) {
    glGenBuffers(1, &buffer_);
    BindForFilling(buffer_);
    // Storage only: the first unlock or the first draw sends the contents.
    glBufferData(GL_COPY_WRITE_BUFFER, length_, nullptr,
                 (usage_ & D3DUSAGE_DYNAMIC) ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
}

void GlVertexBuffer::uploadAll() {
    BindForFilling(buffer_);
    glBufferSubData(GL_COPY_WRITE_BUFFER, 0, length_, memory_.get());
    uploaded_ = true;
}

GlVertexBuffer::~GlVertexBuffer() {
    if (buffer_ && device_->makeCurrent()) {
        device_->cache().bufferDeleted(buffer_);
        glDeleteBuffers(1, &buffer_);
    }
}

HRESULT GlVertexBuffer::Lock(UINT offsetToLock, UINT sizeToLock, BYTE** data, DWORD flags) {
    if (!data) return D3DERR_INVALIDCALL;
    *data = nullptr;
    if (locked_) return D3DERR_INVALIDCALL;
    if (offsetToLock >= length_) return D3DERR_INVALIDCALL;
    if (sizeToLock == 0) sizeToLock = length_ - offsetToLock;
    if (sizeToLock > length_ - offsetToLock) return D3DERR_INVALIDCALL;
    locked_ = true;
    // A read-only lock changes nothing, so its unlock uploads nothing.
    lockOffset_ = offsetToLock;
    lockSize_ = (flags & D3DLOCK_READONLY) ? 0 : sizeToLock;
    *data = memory_.get() + offsetToLock;
    return D3D_OK;
}

HRESULT GlVertexBuffer::Unlock() {
    if (!locked_) return D3DERR_INVALIDCALL;
    locked_ = false;
    if (lockSize_ > 0 && device_->makeCurrent()) {
        device_->flushBatch();
        if (uploaded_) {
            BindForFilling(buffer_);
            glBufferSubData(GL_COPY_WRITE_BUFFER, lockOffset_, lockSize_,
                            memory_.get() + lockOffset_);
        } else {
            uploadAll();
        }
    }
    return D3D_OK;
}

HRESULT GlVertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* desc) {
    if (!desc) return D3DERR_INVALIDCALL;
    desc->Format = D3DFMT_VERTEXDATA;
    desc->Type = D3DRTYPE_VERTEXBUFFER;
    desc->Usage = usage_;
    desc->Pool = pool_;
    desc->Size = length_;
    desc->FVF = fvf_;
    return D3D_OK;
}

}  // namespace gl_d3d8
