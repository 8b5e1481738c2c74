// The key table against the keyboard makers' published set-1 make codes, and the rules around it.
#include <gtest/gtest.h>

#include <set>
#include <stdio.h>
#include <string>
#include <wctype.h>

#include "layout/KeyTable.h"

namespace
{
// Set-1 make codes as Microsoft's scan code tables print them (USB HID usage to PS/2 set 1),
// typed from those tables: Print Screen's make code is E0 2A E0 37, of which the keyboard driver
// maps the second half.
struct PublishedKey
{
    const wchar_t* pszName;
    const char* pszMake;
};
const PublishedKey s_published[] = {
    { L"LWin", "E0 5B" },           { L"RWin", "E0 5C" },           { L"CapsLock", "3A" },
    { L"LCtrl", "1D" },             { L"Apps", "E0 5D" },           { L"RCtrl", "E0 1D" },
    { L"LAlt", "38" },              { L"RAlt", "E0 38" },           { L"Insert", "E0 52" },
    { L"NumLock", "45" },           { L"ScrollLock", "46" },        { L"PrintScreen", "E0 37" },
    { L"Escape", "01" },            { L"F1", "3B" },                { L"F2", "3C" },
    { L"F3", "3D" },                { L"F4", "3E" },                { L"F5", "3F" },
    { L"F6", "40" },                { L"F7", "41" },                { L"F8", "42" },
    { L"F9", "43" },                { L"F10", "44" },               { L"F11", "57" },
    { L"F12", "58" },               { L"F13", "64" },               { L"F14", "65" },
    { L"F15", "66" },               { L"F16", "67" },               { L"F17", "68" },
    { L"F18", "69" },               { L"F19", "6A" },               { L"F20", "6B" },
    { L"F21", "6C" },               { L"F22", "6D" },               { L"F23", "6E" },
    { L"F24", "76" },               { L"BrowserBack", "E0 6A" },    { L"BrowserForward", "E0 69" },
    { L"BrowserRefresh", "E0 67" }, { L"BrowserStop", "E0 68" },    { L"BrowserSearch", "E0 65" },
    { L"BrowserFavorites", "E0 66" }, { L"BrowserHome", "E0 32" },  { L"LaunchMail", "E0 6C" },
    { L"LaunchMediaSelect", "E0 6D" }, { L"LaunchApp1", "E0 6B" },  { L"LaunchApp2", "E0 21" },
    { L"VolumeMute", "E0 20" },     { L"VolumeDown", "E0 2E" },     { L"VolumeUp", "E0 30" },
    { L"MediaNextTrack", "E0 19" }, { L"MediaPrevTrack", "E0 10" }, { L"MediaStop", "E0 24" },
    { L"MediaPlayPause", "E0 22" }, { L"Power", "E0 5E" },          { L"Sleep", "E0 5F" },
    { L"Wake", "E0 63" },
};

uint16_t SourceOf(const char* pszMake)
{
    unsigned nFirst = 0, nSecond = 0;
    return sscanf(pszMake, "%x %x", &nFirst, &nSecond) == 2 ? static_cast<uint16_t>(nFirst << 8 | nSecond)
                                                             : static_cast<uint16_t>(nFirst);
}

std::wstring Lower(const wchar_t* psz)
{
    std::wstring str(psz);
    for (wchar_t& ch : str)
        ch = static_cast<wchar_t>(towlower(ch));
    return str;
}

size_t Find(const std::wstring& strName)
{
    return CKeyTable::Find(strName.c_str(), strName.size());
}

std::string Narrow(const wchar_t* psz)
{
    return std::string(psz, psz + wcslen(psz));
}
}  // namespace

TEST(KeyTable, HoldsThePublishedMakeCodeOfEveryKeyAndTheDialogsFourFirst)
{
    ASSERT_EQ(CKeyTable::kCount, std::size(s_published));
    for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
    {
        const DisableableKey& key = CKeyTable::At(nRow);
        SCOPED_TRACE(Narrow(key.pszName));
        EXPECT_STREQ(s_published[nRow].pszName, key.pszName);
        EXPECT_EQ(SourceOf(s_published[nRow].pszMake), key.Source());
        EXPECT_TRUE(key.nPrefix == 0 || key.nPrefix == 0xE0);
        EXPECT_NE(L'\0', *key.pszLabel);
    }
    EXPECT_EQ(0xFu, CKeyTable::kDialogKeys);
    EXPECT_EQ(4u, CKeyTable::kDialogCount);
}

TEST(KeyTable, NamesAndKeysAreEachOnceAndFoundInAnyCase)
{
    std::set<std::wstring> names;
    std::set<uint16_t> sources;
    for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
    {
        const DisableableKey& key = CKeyTable::At(nRow);
        SCOPED_TRACE(Narrow(key.pszName));
        EXPECT_TRUE(names.insert(Lower(key.pszName)).second);
        EXPECT_TRUE(sources.insert(key.Source()).second);
        EXPECT_EQ(nRow, Find(key.pszName));
        EXPECT_EQ(nRow, Find(Lower(key.pszName)));
        // The words the command line keeps for itself are no key's names.
        EXPECT_NE(L"all", Lower(key.pszName));
        EXPECT_NE(L"disabled", Lower(key.pszName));
    }
    // Part of a name, more than a name, and a look-alike outside ASCII name no key. U+212A, the
    // Kelvin sign, is a K to some case mappings.
    for (const wchar_t* pszNot : { L"", L"F", L"F25", L"LWinX", L"Lwi", L"Num Lock", L"\x212A", L"App\x0455" })
        EXPECT_EQ(CKeyTable::kCount, Find(pszNot)) << Narrow(pszNot);
    // The length given is the name's, whatever follows it.
    EXPECT_EQ(Find(L"F1"), CKeyTable::Find(L"F1,F2", 2));
}

TEST(KeyTable, LeavesOutEveryKeyAPasswordIsTypedWith)
{
    std::set<uint16_t> typing = { 0x1C, 0xE01C, 0x0F, 0x0E, 0xE053, 0x53, 0x39, 0xE048, 0xE04B, 0xE04D, 0xE050, 0x2A, 0x36 };
    // Letters and digits, the keys beside them and the keypad: 02 to 0D, 10 to 1B, 1E to 29, 2B to 35, 47 to 53.
    for (const auto& range : { std::pair<int, int>{ 0x02, 0x0D }, { 0x10, 0x1B }, { 0x1E, 0x29 }, { 0x2B, 0x35 }, { 0x47, 0x53 } })
    {
        for (int n = range.first; n <= range.second; ++n)
            typing.insert(static_cast<uint16_t>(n));
    }
    for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
        EXPECT_EQ(0u, typing.count(CKeyTable::At(nRow).Source())) << Narrow(CKeyTable::At(nRow).pszName);
}

TEST(KeyTable, RefusesOnlyAChangeThatSwitchesOffTheLastKeyOfAPair)
{
    const auto bits = [](std::initializer_list<const wchar_t*> names) {
        KeySet keys = 0;
        for (const wchar_t* pszName : names)
            keys |= CKeyTable::Bit(Find(pszName));
        return keys;
    };
    const KeySet ctrl = bits({ L"LCtrl", L"RCtrl" }), alt = bits({ L"LAlt", L"RAlt" });
    EXPECT_EQ(ctrl, CKeyTable::kCtrlKeys);
    EXPECT_EQ(alt, CKeyTable::kAltKeys);
    struct Case
    {
        const char* pszName;
        KeySet off;          // after the change
        KeySet switchedOff;  // by the change
        KeySet expected;
    };
    const Case cases[] = {
        { "BothCtrlAtOnce", ctrl, ctrl, ctrl },
        { "TheSecondCtrlOfTwoRuns", ctrl | bits({ L"Apps" }), bits({ L"RCtrl" }), ctrl },
        { "BothPairs", ctrl | alt, bits({ L"LCtrl", L"RAlt" }), ctrl | alt },
        { "OneOfEach", bits({ L"LCtrl", L"LAlt" }), bits({ L"LCtrl", L"LAlt" }), 0 },
        // Another tool switched both off: a change that touches neither is not to blame.
        { "AnotherToolsBoth", ctrl | bits({ L"Sleep" }), bits({ L"Sleep" }), 0 },
        { "AllAndAppsLeaveRCtrl", bits({ L"LWin", L"RWin", L"CapsLock", L"LCtrl", L"Apps" }), CKeyTable::kDialogKeys, 0 },
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, CKeyTable::PairLeftOff(c.off, c.switchedOff)) << c.pszName;
}
