// Reference counting shared by the device's textures and vertex buffers.
// A resource lives while the application holds a reference or the device
// keeps it bound (a stage or stream may outlive the application's last
// Release, as in Direct3D); the last application reference also gives back
// the reference the resource holds on its device.
#pragma once

#include "../d3d8.h"

namespace gl_d3d8 {

class GlDevice;

// Takes and gives back a resource's reference on its device.
void HoldDevice(GlDevice* device);
void ReleaseDevice(GlDevice* device);

template <class Interface>
class GlResource : public Interface {
public:
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        if (references_ == 0) return 0;
        const ULONG left = --references_;
        if (left == 0) {
            GlDevice* device = device_;
            destroyIfUnused();
            ReleaseDevice(device);
        }
        return left;
    }

    // The device's own hold while the resource is bound.
    void bind() { ++bindings_; }
    void unbind() {
        if (bindings_ > 0) --bindings_;
        destroyIfUnused();
    }
    GlDevice* device() const { return device_; }

protected:
    explicit GlResource(GlDevice* device) : device_(device) { HoldDevice(device_); }

    GlDevice* const device_;

private:
    void destroyIfUnused() {
        if (references_ == 0 && bindings_ == 0) delete this;
    }

    ULONG references_ = 1;
    ULONG bindings_ = 0;
};

}  // namespace gl_d3d8
