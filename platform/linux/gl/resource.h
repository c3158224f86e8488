// Reference counting shared by the device's textures and vertex buffers.
// A resource lives while the application holds a reference or the device
// keeps it bound (a stage or stream may outlive the application's last
// Release, as in Direct3D); the last application reference also gives back
// the reference the resource holds on its device.
#pragma once

#include "../com_object.h"
#include "../d3d8.h"

namespace gl_d3d8 {

class GlDevice;

// Takes and gives back a resource's reference on its device.
void HoldDevice(GlDevice* device);
void ReleaseDevice(GlDevice* device);

template <class Interface>
class GlResource : public platform_linux::ComObject<Interface> {
public:
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
    void lastReferenceReleased() override {
        GlDevice* device = device_;
        destroyIfUnused();
        ReleaseDevice(device);
    }
    void destroyIfUnused() {
        if (this->references() == 0 && bindings_ == 0) delete this;
    }

    ULONG bindings_ = 0;
};

}  // namespace gl_d3d8
