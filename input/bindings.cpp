// The fixed control scheme: which key, button or mouse axis calls which
// handler, and what the handlers do to the camera and the program's flags.
#include "input/input.h"

#include "app/globals.h"
#include "camera/camera.h"

#include <cstdint>

const float Input::kTurnRate = 0.0024166098f;   // pi / 1300: about 138.5 degrees a second
const float Input::kMouseRate = 0.0031415927f;  // pi / 1000 per count

void Input::addBinding(DWORD code, DeviceKind kind, InputHandler handler, bool onReleaseOnly) {
    bindings.push_back({code, kind, handler, onReleaseOnly});
}

void Input::registerBindings() {
    const bool held = false, releaseOnly = true;
    addBinding(DIK_ESCAPE, DeviceKind::Key, quit, held);
    addBinding(DIK_E, DeviceKind::Key, moveForward, held);
    addBinding(DIK_D, DeviceKind::Key, moveBack, held);
    addBinding(DIK_S, DeviceKind::Key, moveLeft, held);
    addBinding(DIK_F, DeviceKind::Key, moveRight, held);
    addBinding(DIK_LEFT, DeviceKind::Key, turnLeft, held);
    addBinding(DIK_RIGHT, DeviceKind::Key, turnRight, held);
    addBinding(DIK_UP, DeviceKind::Key, moveForward, held);
    addBinding(DIK_DOWN, DeviceKind::Key, moveBack, held);
    addBinding(DIK_Q, DeviceKind::Key, rollLeft, held);
    addBinding(DIK_W, DeviceKind::Key, rollRight, held);
    addBinding(DIK_A, DeviceKind::Key, moveDown, held);
    addBinding(DIK_F5, DeviceKind::Key, savePosition, releaseOnly);
    addBinding(DIK_F9, DeviceKind::Key, loadPosition, releaseOnly);
    addBinding(DIK_GRAVE, DeviceKind::Key, toggleConsole, releaseOnly);
    addBinding(DIK_CAPITAL, DeviceKind::Key, toggleFps, releaseOnly);
    addBinding(DIMOFS_X, DeviceKind::MouseAxis, mouseTurn, held);
    addBinding(DIMOFS_Y, DeviceKind::MouseAxis, mousePitch, held);
    addBinding(DIMOFS_BUTTON1, DeviceKind::MouseButton, rightButton, held);
}

namespace {
// Held times are unsigned; mouse counts are signed.
float Milliseconds(DWORD held) { return static_cast<float>(held); }
float Counts(DWORD count) { return static_cast<float>(static_cast<int32_t>(count)); }
}  // namespace

void Input::quit(DWORD) { g_keepRunning = false; }
void Input::moveForward(DWORD held) { g_camera.movement.z += Milliseconds(held); }
void Input::moveBack(DWORD held) { g_camera.movement.z -= Milliseconds(held); }
void Input::moveLeft(DWORD held) { g_camera.movement.x -= Milliseconds(held); }
void Input::moveRight(DWORD held) { g_camera.movement.x += Milliseconds(held); }
void Input::moveUp(DWORD held) { g_camera.movement.y += Milliseconds(held); }
void Input::moveDown(DWORD held) { g_camera.movement.y -= Milliseconds(held); }
void Input::turnLeft(DWORD held) { g_camera.yaw -= Milliseconds(held) * kTurnRate; }
void Input::turnRight(DWORD held) { g_camera.yaw += Milliseconds(held) * kTurnRate; }
void Input::rollLeft(DWORD held) { g_camera.roll -= Milliseconds(held) * kTurnRate; }
void Input::rollRight(DWORD held) { g_camera.roll += Milliseconds(held) * kTurnRate; }
void Input::mouseTurn(DWORD count) { g_camera.yaw += Counts(count) * kMouseRate; }
void Input::mousePitch(DWORD count) { g_camera.pitch -= Counts(count) * kMouseRate; }
void Input::rightButton(DWORD held) { moveUp(held); }
void Input::toggleConsole(DWORD) { g_showConsole = !g_showConsole; }
void Input::toggleFps(DWORD) { g_showFps = !g_showFps; }
