// The DirectInput 8 identifiers and data formats, kept apart from the
// devices so that a test can stand its own DirectInput8Create in for ours
// while the system still finds these objects.
#include "dinput8.h"

const GUID IID_IDirectInput8A = {
    0xBF798030, 0x483A, 0x4DA2, {0xAA, 0x99, 0x5D, 0x64, 0xED, 0x36, 0x97, 0x00}};
const GUID GUID_SysKeyboard = {
    0x6F1D2B61, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_SysMouse = {
    0x6F1D2B60, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// The SDK's DIPROP_BUFFERSIZE is the integer 1 cast to a GUID reference;
// here a GUID whose first field is 1 stands for it.
const GUID DIPROP_BUFFERSIZE_ID = {1, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// Only the state sizes matter on this platform: they tell the formats apart.
const DIDATAFORMAT c_dfDIKeyboard = {sizeof(DIDATAFORMAT), 16, 0, 256, 256, nullptr};
const DIDATAFORMAT c_dfDIMouse = {sizeof(DIDATAFORMAT), 16, 2, sizeof(DIMOUSESTATE), 7, nullptr};
