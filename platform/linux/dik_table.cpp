// One table ties each key to its SDL scan code, its DIK_ code and its name.
#include "dinput8.h"
#include "input_internal.h"

#include <algorithm>
#include <cctype>

namespace platform_linux {
namespace {

struct KeyRow {
    SDL_Scancode scancode;
    BYTE dik;
    const char* name;
};

// Keys DirectInput knows but dinput8.h does not name.
constexpr BYTE kDikMute = 0xA0;
constexpr BYTE kDikPrevTrack = 0x90;  // shares its code with DIK_CIRCUMFLEX

// The table keeps its rows packed, a dozen keys a screen line.
// clang-format off
#define KEY(sdl, dik) {SDL_SCANCODE_##sdl, DIK_##dik, #dik}
const KeyRow kKeys[] = {
    KEY(ESCAPE, ESCAPE), KEY(1, 1), KEY(2, 2), KEY(3, 3), KEY(4, 4), KEY(5, 5), KEY(6, 6),
    KEY(7, 7), KEY(8, 8), KEY(9, 9), KEY(0, 0), KEY(MINUS, MINUS), KEY(EQUALS, EQUALS),
    KEY(BACKSPACE, BACK), KEY(TAB, TAB), KEY(Q, Q), KEY(W, W), KEY(E, E), KEY(R, R), KEY(T, T),
    KEY(Y, Y), KEY(U, U), KEY(I, I), KEY(O, O), KEY(P, P), KEY(LEFTBRACKET, LBRACKET),
    KEY(RIGHTBRACKET, RBRACKET), KEY(RETURN, RETURN), KEY(LCTRL, LCONTROL), KEY(A, A), KEY(S, S),
    KEY(D, D), KEY(F, F), KEY(G, G), KEY(H, H), KEY(J, J), KEY(K, K), KEY(L, L),
    KEY(SEMICOLON, SEMICOLON), KEY(APOSTROPHE, APOSTROPHE), KEY(GRAVE, GRAVE),
    KEY(LSHIFT, LSHIFT), KEY(BACKSLASH, BACKSLASH), KEY(Z, Z), KEY(X, X), KEY(C, C), KEY(V, V),
    KEY(B, B), KEY(N, N), KEY(M, M), KEY(COMMA, COMMA), KEY(PERIOD, PERIOD), KEY(SLASH, SLASH),
    KEY(RSHIFT, RSHIFT), KEY(KP_MULTIPLY, MULTIPLY), KEY(LALT, LMENU), KEY(SPACE, SPACE),
    KEY(CAPSLOCK, CAPITAL), KEY(F1, F1), KEY(F2, F2), KEY(F3, F3), KEY(F4, F4), KEY(F5, F5),
    KEY(F6, F6), KEY(F7, F7), KEY(F8, F8), KEY(F9, F9), KEY(F10, F10), KEY(NUMLOCKCLEAR, NUMLOCK),
    KEY(SCROLLLOCK, SCROLL), KEY(KP_7, NUMPAD7), KEY(KP_8, NUMPAD8), KEY(KP_9, NUMPAD9),
    KEY(KP_MINUS, SUBTRACT), KEY(KP_4, NUMPAD4), KEY(KP_5, NUMPAD5), KEY(KP_6, NUMPAD6),
    KEY(KP_PLUS, ADD), KEY(KP_1, NUMPAD1), KEY(KP_2, NUMPAD2), KEY(KP_3, NUMPAD3),
    KEY(KP_0, NUMPAD0), KEY(KP_PERIOD, DECIMAL), KEY(NONUSBACKSLASH, OEM_102), KEY(F11, F11),
    KEY(F12, F12), KEY(F13, F13), KEY(F14, F14), KEY(F15, F15), KEY(INTERNATIONAL2, KANA),
    KEY(INTERNATIONAL1, ABNT_C1), KEY(INTERNATIONAL4, CONVERT), KEY(INTERNATIONAL5, NOCONVERT),
    KEY(INTERNATIONAL3, YEN), KEY(KP_EQUALS, NUMPADEQUALS), KEY(AUDIONEXT, NEXTTRACK),
    KEY(KP_ENTER, NUMPADENTER), KEY(RCTRL, RCONTROL), KEY(CALCULATOR, CALCULATOR),
    KEY(AUDIOPLAY, PLAYPAUSE), KEY(AUDIOSTOP, MEDIASTOP), KEY(VOLUMEDOWN, VOLUMEDOWN),
    KEY(VOLUMEUP, VOLUMEUP), KEY(AC_HOME, WEBHOME), KEY(KP_COMMA, NUMPADCOMMA),
    KEY(KP_DIVIDE, DIVIDE), KEY(PRINTSCREEN, SYSRQ), KEY(RALT, RMENU), KEY(PAUSE, PAUSE),
    KEY(HOME, HOME), KEY(UP, UP), KEY(PAGEUP, PRIOR), KEY(LEFT, LEFT), KEY(RIGHT, RIGHT),
    KEY(END, END), KEY(DOWN, DOWN), KEY(PAGEDOWN, NEXT), KEY(INSERT, INSERT),
    KEY(DELETE, DELETE), KEY(LGUI, LWIN), KEY(RGUI, RWIN), KEY(APPLICATION, APPS),
    KEY(POWER, POWER), KEY(SLEEP, SLEEP), KEY(AC_SEARCH, WEBSEARCH),
    KEY(AC_BOOKMARKS, WEBFAVORITES), KEY(AC_REFRESH, WEBREFRESH), KEY(AC_STOP, WEBSTOP),
    KEY(AC_FORWARD, WEBFORWARD), KEY(AC_BACK, WEBBACK), KEY(COMPUTER, MYCOMPUTER),
    KEY(MAIL, MAIL), KEY(MEDIASELECT, MEDIASELECT),
    // The ISO key left of Enter sits where the US backslash is and sends
    // the same scan code.
    {SDL_SCANCODE_NONUSHASH, DIK_BACKSLASH, "BACKSLASH"},
    {SDL_SCANCODE_SYSREQ, DIK_SYSRQ, "SYSRQ"},
    {SDL_SCANCODE_MUTE, kDikMute, "MUTE"},
    {SDL_SCANCODE_AUDIOPREV, kDikPrevTrack, "PREVTRACK"},
};
#undef KEY
// clang-format on

// Names the script may use besides the DIK_ ones above.
struct Alias {
    const char* name;
    BYTE dik;
};
const Alias kAliases[] = {
    {"BACKSPACE", DIK_BACK}, {"CAPSLOCK", DIK_CAPITAL}, {"LALT", DIK_LMENU},
    {"RALT", DIK_RMENU},     {"ENTER", DIK_RETURN},     {"LCTRL", DIK_LCONTROL},
    {"RCTRL", DIK_RCONTROL}, {"PGUP", DIK_PRIOR},       {"PGDN", DIK_NEXT},
};

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

}  // namespace

BYTE DikFromSdlScancode(SDL_Scancode scancode) {
    for (const KeyRow& row : kKeys)
        if (row.scancode == scancode) return row.dik;
    return 0;
}

BYTE DikFromName(const std::string& name) {
    std::string key = upper(name);
    if (key.compare(0, 4, "DIK_") == 0) key.erase(0, 4);
    for (const KeyRow& row : kKeys)
        if (key == row.name) return row.dik;
    for (const Alias& alias : kAliases)
        if (key == alias.name) return alias.dik;
    return 0;
}

const char* NameOfDik(BYTE dik) {
    for (const KeyRow& row : kKeys)
        if (row.dik == dik) return row.name;
    return nullptr;
}

}  // namespace platform_linux
