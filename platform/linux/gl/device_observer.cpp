#include "device_observer.h"

#include "../internal.h"

namespace gl_d3d8 {

namespace {

std::vector<DeviceObserver*>& Observers() {
    static std::vector<DeviceObserver*>* observers = new std::vector<DeviceObserver*>;
    return *observers;
}

// By index: an observer may add another while it is told.
template <class Report>
void Tell(Report report) {
    std::vector<DeviceObserver*>& observers = Observers();
    for (size_t i = 0; i < observers.size(); ++i) report(*observers[i]);
}

void ReportWindowFocus(HWND window, bool active) {
    Tell([&](DeviceObserver& observer) { observer.windowFocus(window, active); });
}

}  // namespace

void AddDeviceObserver(DeviceObserver& observer) {
    static bool listening = false;
    if (!listening) {
        platform_linux::AddFocusListener(ReportWindowFocus);
        listening = true;
    }
    Observers().push_back(&observer);
}

void ReportDeviceMade(ObservedDevice& device) {
    Tell([&](DeviceObserver& observer) { observer.deviceMade(device); });
}

void ReportDeviceGone(ObservedDevice& device) {
    Tell([&](DeviceObserver& observer) { observer.deviceGone(device); });
}

void ReportFramePresented(ObservedDevice& device) {
    Tell([&](DeviceObserver& observer) { observer.framePresented(device); });
}

}  // namespace gl_d3d8
