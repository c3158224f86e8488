// Input's set-up and teardown against a scripted DirectInput: this test
// stands its own DirectInput8Create in for the platform's, so each set-up
// step can be made to fail. An Input can be made once per process, so every
// construction runs in a child process (death-test style).
#include <algorithm>
#include "input/input.h"

#include "app/globals.h"
#include "camera/camera.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Which call fails, and what the fakes saw.
struct Script {
    std::string failing;  // e.g. "create", "keyboard.SetCooperativeLevel"
    bool snapshotFails = false;
    bool alwaysLost = false;
    std::vector<std::string> calls;
};
Script script;

HRESULT Step(const std::string& name) {
    script.calls.push_back(name);
    return script.failing == name ? E_FAIL : DI_OK;
}

class FakeDevice : public IDirectInputDevice8A {
public:
    explicit FakeDevice(std::string name) : name_(std::move(name)) {}
    ULONG AddRef() override { return 1; }
    ULONG Release() override {
        script.calls.push_back(name_ + ".Release");
        delete this;
        return 0;
    }
    HRESULT SetProperty(REFGUID, LPCDIPROPHEADER header) override {
        HRESULT result = Step(name_ + ".SetProperty");
        if (reinterpret_cast<const DIPROPDWORD*>(header)->dwData != 16) return E_FAIL;
        return result;
    }
    HRESULT Acquire() override {
        script.calls.push_back(name_ + ".Acquire");
        return script.alwaysLost ? DIERR_INPUTLOST : DI_OK;
    }
    HRESULT Unacquire() override { return Step(name_ + ".Unacquire"); }
    HRESULT GetDeviceState(DWORD size, LPVOID data) override {
        std::memset(data, 0x80, size);  // whatever the buffer holds
        return script.snapshotFails ? DIERR_NOTACQUIRED : DI_OK;
    }
    HRESULT GetDeviceData(DWORD, LPDIDEVICEOBJECTDATA, LPDWORD count, DWORD) override {
        *count = 0;
        return script.alwaysLost ? DIERR_INPUTLOST : DI_OK;
    }
    HRESULT SetDataFormat(LPCDIDATAFORMAT) override { return Step(name_ + ".SetDataFormat"); }
    HRESULT SetCooperativeLevel(HWND, DWORD flags) override {
        HRESULT result = Step(name_ + ".SetCooperativeLevel");
        DWORD expected = name_ == "keyboard" ? 6u : 5u;
        return flags == expected ? result : E_FAIL;
    }

private:
    ~FakeDevice() override = default;
    std::string name_;
};

class FakeDirectInput : public IDirectInput8A {
public:
    ULONG AddRef() override { return 1; }
    ULONG Release() override {
        script.calls.push_back("directInput.Release");
        delete this;
        return 0;
    }
    HRESULT CreateDevice(REFGUID guid, LPDIRECTINPUTDEVICE8A* device, LPUNKNOWN) override {
        std::string name = guid == GUID_SysKeyboard ? "keyboard" : "mouse";
        if (FAILED(Step(name + ".Create"))) return E_FAIL;
        *device = new FakeDevice(name);
        return DI_OK;
    }
};

}  // namespace

HRESULT WINAPI DirectInput8Create(HINSTANCE, DWORD version, REFIID riid, LPVOID* out, LPUNKNOWN) {
    if (FAILED(Step("create")) || version != 0x0800 || riid != IID_IDirectInput8A) return E_FAIL;
    *out = static_cast<IDirectInput8A*>(new FakeDirectInput);
    return DI_OK;
}

namespace {

// Constructs an Input with the given step failing and prints what it threw.
void ConstructFailingAt(const std::string& step) {
    script.failing = step;
    try {
        Input input(nullptr);
    } catch (const char* message) {
        std::fprintf(stderr, "thrown: %s", message);
        std::fflush(stderr);
        _exit(Input::exists() ? 0 : 1);
    }
    _exit(2);
}

TEST(InputSetup, EachFailingStepThrowsItsMessage) {
    const std::pair<const char*, const char*> steps[] = {
        {"create", "Direct Input not available\\. You prolly need DX8\\."},
        {"keyboard.Create", "Keyboard seems to be unavailable\\. Weird\\."},
        {"keyboard.SetCooperativeLevel", "Couldn't set keyboard cooperative level!"},
        {"keyboard.SetDataFormat", "Couldn't set keyboard data format\\."},
        {"keyboard.SetProperty",
         "trouble in a bouble: can't set keyboard buffer\\. \\(sorry, but it's a nice rime\\)"},
        {"mouse.Create",
         "Mouse seems to be missin'\\. Wha'd you do to it\\? Plug it out just to "
         "piss me off\\?!\\?"},
        {"mouse.SetDataFormat", "Couldn't set mouse data format\\."},
        {"mouse.SetCooperativeLevel", "Couldn't set mouse cooperative level!"},
        {"mouse.SetProperty", "Coudn't set mouse buffer size\\. I'm stumped\\."},
    };
    for (const auto& [step, message] : steps) {
        SCOPED_TRACE(step);
        EXPECT_EXIT(ConstructFailingAt(step), ::testing::ExitedWithCode(0),
                    std::string("thrown: ") + message + "$");
    }
}

// Runs `body` in a child with a working fake; the child exits 0 when `body`
// returns true.
template <typename Body>
void InChild(Body body) {
    script = Script{};
    bool ok = false;
    try {
        ok = body();
    } catch (const char* message) {
        std::fprintf(stderr, "thrown: %s", message);
    }
    std::fflush(stderr);
    _exit(ok ? 0 : 1);
}

TEST(InputSetup, SetUpOrderAndTeardownOrder) {
    EXPECT_EXIT(InChild([] {
                    auto* input = new Input(nullptr);
                    delete input;
                    const std::vector<std::string> expected = {"create",
                                                               "keyboard.Create",
                                                               "keyboard.SetCooperativeLevel",
                                                               "keyboard.SetDataFormat",
                                                               "keyboard.Acquire",
                                                               "keyboard.Unacquire",
                                                               "keyboard.SetProperty",
                                                               "keyboard.Acquire",
                                                               "mouse.Create",
                                                               "mouse.SetDataFormat",
                                                               "mouse.SetCooperativeLevel",
                                                               "mouse.SetProperty",
                                                               "mouse.Acquire",
                                                               "keyboard.Unacquire",
                                                               "keyboard.Release",
                                                               "mouse.Unacquire",
                                                               "mouse.Release",
                                                               "directInput.Release"};
                    if (script.calls == expected) return true;
                    for (const std::string& call : script.calls)
                        std::fprintf(stderr, "%s\n", call.c_str());
                    return false;
                }),
                ::testing::ExitedWithCode(0), "");
}

// The error text leaves no object behind to destroy, so whatever was opened
// before the failing step must be released on the way out.
TEST(InputSetup, FailedStepReleasesWhatWasOpened) {
    EXPECT_EXIT(InChild([] {
                    script.failing = "mouse.SetProperty";
                    try {
                        Input input(nullptr);
                    } catch (const char*) {
                    }
                    const std::vector<std::string>& calls = script.calls;
                    auto has = [&](const char* call) {
                        return std::find(calls.begin(), calls.end(), call) != calls.end();
                    };
                    return has("keyboard.Release") && has("mouse.Release") && !calls.empty() &&
                           calls.back() == "directInput.Release";
                }),
                ::testing::ExitedWithCode(0), "");
}

TEST(InputSetup, SecondInputIsRefusedEvenAfterTheFirstIsGone) {
    EXPECT_EXIT(InChild([] {
                    delete new Input(nullptr);
                    new Input(nullptr);
                    return false;
                }),
                ::testing::ExitedWithCode(1), "thrown: tried to create 2 inputs\\. No go!$");
}

// Every key byte reads as pressed; only a snapshot that succeeded may count.
bool EscapeHeldAfterOneFrame(bool snapshotFails) {
    script.snapshotFails = snapshotFails;
    Input input(nullptr);
    usleep(3000);
    input.update();
    return !g_keepRunning && g_camera.movement.y < 0;
}

TEST(InputSetup, KeysHeldAtConstructionCountOnlyFromASuccessfulSnapshot) {
    EXPECT_EXIT(InChild([] { return EscapeHeldAfterOneFrame(false); }),
                ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(InChild([] { return EscapeHeldAfterOneFrame(true); }), ::testing::ExitedWithCode(1),
                "");
}

TEST(InputSetup, DeviceThatStaysLostDoesNotHoldTheFrame) {
    EXPECT_EXIT(InChild([] {
                    script.alwaysLost = true;
                    Input input(nullptr);
                    input.update();
                    return true;
                }),
                ::testing::ExitedWithCode(0), "");
}

}  // namespace
