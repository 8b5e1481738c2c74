#include "KeyTable.h"

#include "res/resource.h"

namespace
{
const DisableableKey s_keys[CKeyTable::kCount] = {
    { IDC_LEFT_WINDOWS_KEY, 0x5B, 0xE0, L"LWin", L"Left Windows" },
    { IDC_RIGHT_WINDOWS_KEY, 0x5C, 0xE0, L"RWin", L"Right Windows" },
    { IDC_CAPS_LOCK_KEY, 0x3A, 0x00, L"CapsLock", L"Caps Lock" },
    { IDC_LEFT_CTRL_KEY, 0x1D, 0x00, L"LCtrl", L"Left Ctrl" },
};
}  // namespace

const DisableableKey& CKeyTable::At(size_t nRow)
{
    return s_keys[nRow];
}

