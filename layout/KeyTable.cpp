#include "KeyTable.h"

namespace
{
const DisableableKey s_keys[CKeyTable::kCount] = {
    { 0x5B, 0xE0, L"LWin", L"Left Windows" },
    { 0x5C, 0xE0, L"RWin", L"Right Windows" },
    { 0x3A, 0x00, L"CapsLock", L"Caps Lock" },
    { 0x1D, 0x00, L"LCtrl", L"Left Ctrl" },
};
}  // namespace

const DisableableKey& CKeyTable::At(size_t nRow)
{
    return s_keys[nRow];
}

