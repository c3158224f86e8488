// Reference counting shared by the device's textures and vertex buffers.
// A resource lives while the application holds a reference or the device
// keeps it bound (a stage or stream may outlive the application's last
// Release, as in Direct3D); the last application reference also gives back
// the reference the resource holds on its device.
#pragma once

#include "../com_object.h"
#include "../d3d8.h"

namespace gl_d3d8 {

class GlStateCache;

// The device as its textures and vertex buffers see it (device.cpp): they
// hold a reference on it, and make its context current and draw its pending
// triangles before they change the GL objects those may use.
class ResourceHost : public platform_linux::ComObject<IDirect3DDevice8> {
public:
    // False when the window behind the context is gone.
    virtual bool makeCurrent() = 0;
    virtual void flushBatch() = 0;
    // New texels may change what a draw can leave out (blending of opaque ones).
    virtual void texelsChanged() = 0;
    virtual GlStateCache& cache() = 0;
};

template <class Interface>
class GlResource : public platform_linux::ComObject<Interface> {
public:
    // The device's own hold while the resource is bound.
    void bind() { ++bindings_; }
    void unbind() {
        if (bindings_ > 0) --bindings_;
        destroyIfUnused();
    }
    ResourceHost* device() const { return device_; }

protected:
    explicit GlResource(ResourceHost* device) : device_(device) { device_->AddRef(); }

    ResourceHost* const device_;

private:
    void lastReferenceReleased() override {
        ResourceHost* device = device_;
        destroyIfUnused();
        device->Release();
    }
    void destroyIfUnused() {
        if (this->references() == 0 && bindings_ == 0) delete this;
    }

    ULONG bindings_ = 0;
};

}  // namespace gl_d3d8
