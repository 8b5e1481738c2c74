#include "KeyTable.h"

#include <wctype.h>

namespace
{
// Names as Windows names the keys' virtual-key codes, where it names them.
const DisableableKey s_keys[CKeyTable::kCount] = {
    { 0x5B, 0xE0, L"LWin", L"Left Windows" },
    { 0x5C, 0xE0, L"RWin", L"Right Windows" },
    { 0x3A, 0x00, L"CapsLock", L"Caps Lock" },
    { 0x1D, 0x00, L"LCtrl", L"Left Ctrl" },

    { 0x5D, 0xE0, L"Apps", L"Application" },
    { 0x1D, 0xE0, L"RCtrl", L"Right Ctrl" },
    { 0x38, 0x00, L"LAlt", L"Left Alt" },
    { 0x38, 0xE0, L"RAlt", L"Right Alt" },
    { 0x52, 0xE0, L"Insert", L"Insert" },
    { 0x45, 0x00, L"NumLock", L"Num Lock" },
    { 0x46, 0x00, L"ScrollLock", L"Scroll Lock" },
    // The key sends E0 2A E0 37; the keyboard driver maps it by its second half.
    { 0x37, 0xE0, L"PrintScreen", L"Print Screen" },
    { 0x01, 0x00, L"Escape", L"Escape" },

    { 0x3B, 0x00, L"F1", L"F1" },
    { 0x3C, 0x00, L"F2", L"F2" },
    { 0x3D, 0x00, L"F3", L"F3" },
    { 0x3E, 0x00, L"F4", L"F4" },
    { 0x3F, 0x00, L"F5", L"F5" },
    { 0x40, 0x00, L"F6", L"F6" },
    { 0x41, 0x00, L"F7", L"F7" },
    { 0x42, 0x00, L"F8", L"F8" },
    { 0x43, 0x00, L"F9", L"F9" },
    { 0x44, 0x00, L"F10", L"F10" },
    { 0x57, 0x00, L"F11", L"F11" },
    { 0x58, 0x00, L"F12", L"F12" },
    { 0x64, 0x00, L"F13", L"F13" },
    { 0x65, 0x00, L"F14", L"F14" },
    { 0x66, 0x00, L"F15", L"F15" },
    { 0x67, 0x00, L"F16", L"F16" },
    { 0x68, 0x00, L"F17", L"F17" },
    { 0x69, 0x00, L"F18", L"F18" },
    { 0x6A, 0x00, L"F19", L"F19" },
    { 0x6B, 0x00, L"F20", L"F20" },
    { 0x6C, 0x00, L"F21", L"F21" },
    { 0x6D, 0x00, L"F22", L"F22" },
    { 0x6E, 0x00, L"F23", L"F23" },
    { 0x76, 0x00, L"F24", L"F24" },

    { 0x6A, 0xE0, L"BrowserBack", L"Browser Back" },
    { 0x69, 0xE0, L"BrowserForward", L"Browser Forward" },
    { 0x67, 0xE0, L"BrowserRefresh", L"Browser Refresh" },
    { 0x68, 0xE0, L"BrowserStop", L"Browser Stop" },
    { 0x65, 0xE0, L"BrowserSearch", L"Browser Search" },
    { 0x66, 0xE0, L"BrowserFavorites", L"Browser Favorites" },
    { 0x32, 0xE0, L"BrowserHome", L"Browser Home" },

    { 0x6C, 0xE0, L"LaunchMail", L"Mail" },
    { 0x6D, 0xE0, L"LaunchMediaSelect", L"Media Select" },
    { 0x6B, 0xE0, L"LaunchApp1", L"Launch App 1 (Computer)" },
    { 0x21, 0xE0, L"LaunchApp2", L"Launch App 2 (Calculator)" },

    { 0x20, 0xE0, L"VolumeMute", L"Mute" },
    { 0x2E, 0xE0, L"VolumeDown", L"Volume Down" },
    { 0x30, 0xE0, L"VolumeUp", L"Volume Up" },
    { 0x19, 0xE0, L"MediaNextTrack", L"Next Track" },
    { 0x10, 0xE0, L"MediaPrevTrack", L"Previous Track" },
    { 0x24, 0xE0, L"MediaStop", L"Media Stop" },
    { 0x22, 0xE0, L"MediaPlayPause", L"Play/Pause" },

    { 0x5E, 0xE0, L"Power", L"Power" },
    { 0x5F, 0xE0, L"Sleep", L"Sleep" },
    { 0x63, 0xE0, L"Wake", L"Wake" },
};
}  // namespace

const DisableableKey& CKeyTable::At(size_t nRow)
{
    return s_keys[nRow];
}

size_t CKeyTable::Find(const wchar_t* pszName, size_t cchName)
{
    // The names are ASCII: a character outside it matches none, whatever the case mapping says.
    for (size_t nRow = 0; nRow < kCount; ++nRow)
    {
        const wchar_t* pszRow = s_keys[nRow].pszName;
        size_t i = 0;
        while (i < cchName && pszRow[i] != L'\0' && pszName[i] < 0x80 && towlower(pszName[i]) == towlower(pszRow[i]))
            ++i;
        if (i == cchName && pszRow[i] == L'\0')
            return nRow;
    }
    return kCount;
}

KeySet CKeyTable::PairLeftOff(KeySet off, KeySet switchedOff)
{
    static const KeySet s_pairs[] = { kCtrlKeys, kAltKeys };
    KeySet pairs = 0;
    for (const KeySet pair : s_pairs)
    {
        if ((off & pair) == pair && (switchedOff & pair) != 0)
            pairs |= pair;
    }
    return pairs;
}
