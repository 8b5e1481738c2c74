// The keys the program can switch off: first the dialog's four, in the order both faces and the
// stored-layout check use, then the others the command line and the DSC resource take.
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
typedef uint64_t KeySet;

class CKeyTable
{
public:
    // Left Windows, Right Windows, Caps Lock, Left Ctrl: the dialog's check boxes, and All.
    static constexpr size_t kDialogCount = 4;
    // No key a password is typed with is here: letters, digits, Shift, Enter, Tab, Backspace,
    // Delete, Space and the arrows stay out.
    static constexpr size_t kCount = 58;
    static_assert(kCount < 64, "KeySet has a bit per row");
    static constexpr KeySet Bit(size_t nRow) { return KeySet{ 1 } << nRow; }
    static constexpr KeySet kDialogKeys = (KeySet{ 1 } << kDialogCount) - 1;
    static constexpr KeySet kEveryKey = (KeySet{ 1 } << kCount) - 1;
    // Ctrl+Alt+Del needs one key of each pair: LCtrl and RCtrl, LAlt and RAlt.
    static constexpr KeySet kCtrlKeys = KeySet{ 1 } << 3 | KeySet{ 1 } << 5;
    static constexpr KeySet kAltKeys = KeySet{ 1 } << 6 | KeySet{ 1 } << 7;

    static const DisableableKey& At(size_t nRow);
    // The row of a name, in any case, or kCount for none.
    static size_t Find(const wchar_t* pszName, size_t cchName);
    // The pair that a layout with the keys off switched off whole, when the change switched one
    // of its keys off: then nobody could press Ctrl+Alt+Del. 0 when both pairs keep a key.
    static KeySet PairLeftOff(KeySet off, KeySet switchedOff);
};
