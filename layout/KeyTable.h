// The four keys the program can switch off, in the order both faces and the stored-layout check use.
#pragma once

#include <stddef.h>
#include <stdint.h>

struct DisableableKey
{
    uint8_t nLowByte;    // set-1 make code
    uint8_t nPrefix;     // 0xE0 for an extended key, 0 otherwise
    const wchar_t* pszName;   // as the command line takes it and scripts read it: "LWin"
    const wchar_t* pszLabel;  // as the command line's lines show it: "Left Windows"

    // The source word as the scan-code map stores it: the prefix in the high byte.
    uint16_t Source() const { return static_cast<uint16_t>(nPrefix << 8 | nLowByte); }
};

// Some of the table's keys: one bit per row.
typedef unsigned KeySet;

class CKeyTable
{
public:
    static constexpr size_t kCount = 4;
    static constexpr KeySet kAllKeys = (1u << kCount) - 1;
    static constexpr KeySet Bit(size_t nRow) { return 1u << nRow; }
    // Left Windows, Right Windows, Caps Lock, Left Ctrl.
    static const DisableableKey& At(size_t nRow);
};
