// Input's set-up and teardown on a scripted DirectInput: the order of its calls, a keyboard
// lost for good, a second Input. An Input can be made once per process: each is made in a child.
#include "input/input.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

namespace {

struct Script {
    bool keyboardLost = false;  // every Acquire of the keyboard answers "input lost"
    std::string calls;
} script;
// A call the real DirectInput would refuse (a wrong argument) fails.
HRESULT Step(const std::string& name, bool ok = true) {
    script.calls += name + " ";
    return ok ? DI_OK : E_FAIL;
}
// DirectInput and its devices, named "directInput", "keyboard" or "mouse".
class Fake : public IDirectInput8A, public IDirectInputDevice8A {
public:
    explicit Fake(std::string name) : name_(std::move(name)) {}
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return Step(name_ + ".Release"), delete this, 0; }
    HRESULT CreateDevice(REFGUID guid, LPDIRECTINPUTDEVICE8A* device, LPUNKNOWN) override {
        const std::string name = guid == GUID_SysKeyboard ? "keyboard" : "mouse";
        if (FAILED(Step(name + ".Create"))) return E_FAIL;
        return *device = new Fake(name), DI_OK;
    }
    HRESULT SetProperty(REFGUID, LPCDIPROPHEADER header) override {
        return Step(name_ + ".SetProperty",
                    reinterpret_cast<const DIPROPDWORD*>(header)->dwData == 16);
    }
    HRESULT Acquire() override {  // 1000 tries of a lost keyboard count as a hang
        if (!script.keyboardLost || name_ != "keyboard") return Step(name_ + ".Acquire");
        return ++lostAnswers < 1000 ? DIERR_INPUTLOST : (_exit(2), E_FAIL);
    }
    HRESULT Unacquire() override { return Step(name_ + ".Unacquire"); }
    HRESULT GetDeviceState(DWORD size, LPVOID data) override {
        return std::memset(data, 0, size), DI_OK;
    }
    HRESULT GetDeviceData(DWORD, LPDIDEVICEOBJECTDATA, LPDWORD count, DWORD) override {
        return *count = 0, DI_OK;
    }
    HRESULT SetDataFormat(LPCDIDATAFORMAT) override { return Step(name_ + ".SetDataFormat"); }
    HRESULT SetCooperativeLevel(HWND, DWORD flags) override {
        return Step(name_ + ".SetCooperativeLevel", flags == (name_ == "keyboard" ? 6u : 5u));
    }

private:
    ~Fake() override = default;
    std::string name_;
    int lostAnswers = 0;
};

}  // namespace

HRESULT WINAPI DirectInput8Create(HINSTANCE, DWORD version, REFIID riid, LPVOID* out, LPUNKNOWN) {
    if (FAILED(Step("create", version == 0x0800 && riid == IID_IDirectInput8A))) return E_FAIL;
    return *out = static_cast<IDirectInput8A*>(new Fake("directInput")), DI_OK;
}
namespace {

// Exits 0 when `body` returns true, or throws while an Input exists.
template <typename Body>
void InChild(Body body) {
    bool ok = false;
    try {
        ok = body();
    } catch (const char* message) {
        std::fprintf(stderr, "thrown: %s\n", message);
        ok = Input::exists();
    }
    std::fprintf(stderr, "calls: %s", script.calls.c_str());
    _exit(ok ? 0 : 1);
}
TEST(InputSetup, SetUpAndTeardownOrder) {
    EXPECT_EXIT(InChild([] { return delete new Input(nullptr), true; }),
                ::testing::ExitedWithCode(0),
                "calls: create keyboard.Create keyboard.SetCooperativeLevel keyboard.SetDataFormat "
                "keyboard.Acquire keyboard.Unacquire keyboard.SetProperty keyboard.Acquire "
                "mouse.Create mouse.SetDataFormat mouse.SetCooperativeLevel mouse.SetProperty "
                "mouse.Acquire keyboard.Unacquire keyboard.Release mouse.Unacquire mouse.Release "
                "directInput.Release $");
    // A keyboard that stays lost is given up on: the set-up goes on.
    EXPECT_EXIT(InChild([] {
                    script.keyboardLost = true;
                    return delete new Input(nullptr), true;
                }),
                ::testing::ExitedWithCode(0), "calls: create keyboard.Create");
    EXPECT_EXIT(InChild([] { return delete new Input(nullptr), new Input(nullptr), false; }),
                ::testing::ExitedWithCode(0), "thrown: tried to create 2 inputs\\. No go!");
}
}  // namespace
