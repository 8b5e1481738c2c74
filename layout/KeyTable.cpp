#include "KeyTable.h"

#include "res/resource.h"

namespace
{
const DisableableKey s_keys[CKeyTable::kCount] = {
    { IDC_LEFT_WINDOWS_KEY, 0x5B, 0xE0 },
    { IDC_RIGHT_WINDOWS_KEY, 0x5C, 0xE0 },
    { IDC_CAPS_LOCK_KEY, 0x3A, 0x00 },
    { IDC_LEFT_CTRL_KEY, 0x1D, 0x00 },
};
}  // namespace

const DisableableKey& CKeyTable::At(size_t nRow)
{
    return s_keys[nRow];
}

