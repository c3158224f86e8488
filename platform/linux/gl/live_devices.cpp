#include "live_devices.h"

#include <algorithm>

namespace gl_d3d8 {

namespace {

class LiveDeviceList final : public DeviceObserver {
public:
    void deviceMade(ObservedDevice& device) override { devices_.push_back(&device); }
    void deviceGone(ObservedDevice& device) override {
        devices_.erase(std::remove(devices_.begin(), devices_.end(), &device), devices_.end());
    }
    void windowFocus(HWND window, bool active) override {
        for (ObservedDevice* device : devices_) {
            if (device->window() != window || !device->fullScreen()) continue;
            if (active) {
                device->regainFocus();
            } else {
                device->loseDevice();
            }
        }
    }
    const std::vector<ObservedDevice*>& devices() const { return devices_; }

private:
    std::vector<ObservedDevice*> devices_;
};

LiveDeviceList& TheList() {
    static LiveDeviceList* list = new LiveDeviceList;  // lives until exit
    return *list;
}

}  // namespace

void TrackLiveDevices() {
    static bool tracking = false;
    if (tracking) return;
    tracking = true;
    AddDeviceObserver(TheList());
}

const std::vector<ObservedDevice*>& LiveDevices() { return TheList().devices(); }

}  // namespace gl_d3d8
