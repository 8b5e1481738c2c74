// Reading and writing the stored layout of both scopes, against Wine's real registry.
#include <gtest/gtest.h>

#include "DialogDriver.h"
#include "RegistryFixture.h"
#include "dialog/MorvexDisablerDlg.h"
#include "system/SystemErrorText.h"

namespace
{
using Entries = std::vector<std::pair<std::wstring, std::wstring>>;

const WCHAR kAppName[] = L"Morvex Disabler by MorvexSoft";
const int kKeyBoxes[] = { IDC_LEFT_WINDOWS_KEY, IDC_RIGHT_WINDOWS_KEY, IDC_CAPS_LOCK_KEY, IDC_LEFT_CTRL_KEY };

// Scan codes as stored: prefix in the high byte.
const WORD kLeftWindows = 0xE05B, kRightWindows = 0xE05C, kCapsLock = 0x003A, kLeftCtrl = 0x001D;
const WORD kRightCtrl = 0xE01D, kRightAlt = 0xE038, kPause = 0xE11D;

Entries EntriesOf(const CMapStringToString& map)
{
    Entries entries;
    CString strKey, strValue;
    for (POSITION pos = map.GetStartPosition(); pos != nullptr;)
    {
        map.GetNextAssoc(pos, strKey, strValue);
        entries.emplace_back(strKey.GetString(), strValue.GetString());
    }
    return entries;
}

std::vector<bool> CheckedKeys(CUser& user)
{
    std::vector<bool> checked;
    for (int nID : kKeyBoxes)
        checked.push_back(user.IsChecked(nID));
    return checked;
}

class LayoutStoreTest : public PerScopeTest
{
protected:
    INT_PTR RunDialog(const std::function<void(CUser&, CMorvexDisablerDlg&)>& script)
    {
        CMorvexDisablerDlg dlg;
        dlg.m_pRegistry = &m_registry;
        return CDialogSession::Run(dlg, [&](CUser& user) { script(user, dlg); });
    }

    // Saves on the dialog's thread; a box the save opens is left for the caller to answer.
    void StartSave(CUser& user, CMorvexDisablerDlg& dlg)
    {
        user.StartOnDialogThread([&] { m_bSaved = dlg.SaveLayoutToRegistry(); });
    }

    void ExpectEveryKeyClosed()
    {
        EXPECT_EQ(0, m_registry.m_nOpenHandles);
        EXPECT_EQ(m_registry.m_nOpens, m_registry.m_nCloses);
        EXPECT_GT(m_registry.m_nOpens, 0);
    }

    void ExpectErrorBox(const MessageBoxView& box, HWND hWndDialog, const wchar_t* pszText)
    {
        ASSERT_TRUE(box) << "no message box";
        EXPECT_EQ(hWndDialog, box.hWndOwner);
        EXPECT_EQ(kAppName, box.strCaption);
        EXPECT_EQ(pszText, box.strText);
        EXPECT_EQ(std::vector<int>{ IDOK }, box.buttons);
        EXPECT_EQ(::LoadIconW(nullptr, IDI_HAND), box.hIcon);
    }

    CCountingRegistry m_registry;
    BOOL m_bSaved = -1;
};

INSTANTIATE_PER_SCOPE(LayoutStoreTest);

// ---- Reading -------------------------------------------------------------------------------------

struct LoadCase
{
    const char* pszName;
    std::optional<Bytes> stored;
    std::vector<bool> checked;  // Left Windows, Right Windows, Caps Lock, Left Ctrl
    Entries entries;
    DWORD dwType = REG_BINARY;
};

// Two keys switched off, meant as binary but stored as text: the keyboard driver ignores it.
const wchar_t kTwoKeysAsText[] = L"00000000000000000300000000005be000003a0000000000";

Bytes ManyMappings(size_t nMappings)
{
    // More than 1024 bytes, with Left Ctrl last.
    Bytes value = ScancodeMapValue({});
    value.resize(12);
    value[8] = LOBYTE(nMappings + 1);
    value[9] = HIBYTE(nMappings + 1);
    for (size_t k = 0; k < nMappings; ++k)
    {
        const WORD wSource = k + 1 == nMappings ? kLeftCtrl : static_cast<WORD>(0x0100 + k);
        value.insert(value.end(), { 0, 0, LOBYTE(wSource), HIBYTE(wSource) });
    }
    value.insert(value.end(), 4, 0);
    return value;
}

Bytes WithCount(Bytes value, BYTE nCount)
{
    value[8] = nCount;
    return value;
}

const LoadCase kLoadCases[] = {
    { "NothingStored", std::nullopt, { false, false, false, false }, {} },
    // Each key in its own box: the dialog's table of boxes against the key table's rows.
    { "LeftWindowsAlone", ScancodeMapValue({ { 0, kLeftWindows } }), { true, false, false, false }, { { L"57435", L"0" } } },
    { "RightWindowsAlone", ScancodeMapValue({ { 0, kRightWindows } }), { false, true, false, false }, { { L"57436", L"0" } } },
    { "CapsLockAlone", ScancodeMapValue({ { 0, kCapsLock } }), { false, false, true, false }, { { L"58", L"0" } } },
    { "LeftCtrlAlone", ScancodeMapValue({ { 0, kLeftCtrl } }), { false, false, false, true }, { { L"29", L"0" } } },
    { "TwoKeys", ScancodeMapValue({ { 0, kLeftWindows }, { 0, kCapsLock } }), { true, false, true, false },
      { { L"57435", L"0" }, { L"58", L"0" } } },
    { "AllFour", ScancodeMapValue({ { 0, kLeftWindows }, { 0, kRightWindows }, { 0, kCapsLock }, { 0, kLeftCtrl } }),
      { true, true, true, true }, { { L"57435", L"0" }, { L"57436", L"0" }, { L"58", L"0" }, { L"29", L"0" } } },
    { "RightCtrlIsNotLeftCtrl", ScancodeMapValue({ { 0, kRightCtrl } }), { false, false, false, false }, { { L"57373", L"0" } } },
    { "WindowsLowByteWithoutPrefixIsAnotherKey", ScancodeMapValue({ { 0, 0x005B } }), { false, false, false, false },
      { { L"91", L"0" } } },
    { "RemapTicksItsSource", ScancodeMapValue({ { kLeftCtrl, kCapsLock } }), { false, false, true, false }, { { L"58", L"29" } } },
    { "ForeignKeyKept", ScancodeMapValue({ { 0, kRightAlt } }), { false, false, false, false }, { { L"57400", L"0" } } },
    { "CountZero", WithCount(ScancodeMapValue({ { 0, kCapsLock } }), 0), { false, false, false, false }, {} },
    { "CountOne", WithCount(ScancodeMapValue({ { 0, kCapsLock } }), 1), { false, false, false, false }, {} },
    { "CountBeyondData", WithCount(ScancodeMapValue({ { 0, kCapsLock }, { 0, kRightWindows } }), 200),
      { false, true, true, false }, { { L"58", L"0" }, { L"57436", L"0" } } },
    { "TruncatedMidEntry", Bytes{ 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0x3A, 0, 0, 0 }, { false, false, true, false },
      { { L"58", L"0" } } },
    { "ShorterThanHeader", Bytes{ 0, 0, 0, 0, 0, 0 }, { false, false, false, false }, {} },
    { "TextIsNoLayout", TextValue(kTwoKeysAsText), { false, false, false, false }, {}, REG_SZ },
    { "BinaryOfAnotherTypeIsNoLayout", ScancodeMapValue({ { 0, kCapsLock } }), { false, false, false, false }, {}, REG_NONE },
};

TEST_P(LayoutStoreTest, LoadShowsExactlyTheStoredKeysAndKeepsEveryMapping)
{
    for (const LoadCase& loadCase : kLoadCases)
    {
        SCOPED_TRACE(loadCase.pszName);
        RemoveStoredLayout(GetParam());
        if (loadCase.stored)
            StoreLayout(GetParam(), *loadCase.stored, loadCase.dwType);

        RunDialog([&](CUser& user, CMorvexDisablerDlg& dlg) {
            EXPECT_EQ(loadCase.checked, CheckedKeys(user));
            user.OnDialogThread([&] {
                EXPECT_EQ(loadCase.entries, EntriesOf(dlg.m_mapDisabledKeys));
                EXPECT_FALSE(dlg.m_bChangesPending);
            });
        });
    }
    ExpectEveryKeyClosed();
}

TEST_P(LayoutStoreTest, LoadReadsValuesLongerThanAKilobyte)
{
    StoreLayout(GetParam(), ManyMappings(300));
    RunDialog([&](CUser& user, CMorvexDisablerDlg& dlg) {
        EXPECT_TRUE(user.IsChecked(IDC_LEFT_CTRL_KEY));
        user.OnDialogThread([&] { EXPECT_EQ(300, dlg.m_mapDisabledKeys.GetCount()); });
    });
}

TEST_P(LayoutStoreTest, LoadReadsOnlyItsOwnScope)
{
    const Scope other = GetParam() == Scope::AllUsers ? Scope::CurrentUser : Scope::AllUsers;
    StoreLayout(other, ScancodeMapValue({ { 0, kCapsLock } }));
    RunDialog([&](CUser& user, CMorvexDisablerDlg&) { EXPECT_FALSE(user.IsChecked(IDC_CAPS_LOCK_KEY)); });
}

// ---- Writing -------------------------------------------------------------------------------------

struct RoundTripCase
{
    const char* pszName;
    Bytes stored;
    Bytes saved;  // after Right Windows is ticked
};

const RoundTripCase kRoundTrips[] = {
    { "Disabled", ScancodeMapValue({ { 0, kCapsLock }, { 0, kLeftWindows } }),
      ScancodeMapValue({ { 0, kCapsLock }, { 0, kLeftWindows }, { 0, kRightWindows } }) },
    { "RemapsAndExtendedTwins",
      ScancodeMapValue({ { kLeftCtrl, kCapsLock }, { 0, kRightCtrl }, { kCapsLock, kLeftCtrl }, { 0, 0x005B }, { kRightAlt, 0x0038 } }),
      ScancodeMapValue({ { kLeftCtrl, kCapsLock }, { 0, kRightCtrl }, { kCapsLock, kLeftCtrl }, { 0, 0x005B }, { kRightAlt, 0x0038 },
                         { 0, kRightWindows } }) },
    { "OtherPrefixes", ScancodeMapValue({ { 0, kPause }, { 0xE05D, 0xE05E } }),
      ScancodeMapValue({ { 0, kPause }, { 0xE05D, 0xE05E }, { 0, kRightWindows } }) },
    { "HeaderMadeZero", [] { Bytes v = ScancodeMapValue({ { 0, kCapsLock } }); v[0] = 1; v[4] = 7; return v; }(),
      ScancodeMapValue({ { 0, kCapsLock }, { 0, kRightWindows } }) },
    { "CountMadeTrue", WithCount(ScancodeMapValue({ { 0, kCapsLock }, { 0, kRightAlt } }), 90),
      ScancodeMapValue({ { 0, kCapsLock }, { 0, kRightAlt }, { 0, kRightWindows } }) },
    { "TrailingBytesDropped", [] { Bytes v = ScancodeMapValue({ { 0, kRightAlt } }); v.insert(v.end(), { 1, 2, 3 }); return v; }(),
      ScancodeMapValue({ { 0, kRightAlt }, { 0, kRightWindows } }) },
};

TEST_P(LayoutStoreTest, SavingAChangeWritesAWellFormedValueWithEveryStoredMapping)
{
    for (const RoundTripCase& roundTrip : kRoundTrips)
    {
        SCOPED_TRACE(roundTrip.pszName);
        StoreLayout(GetParam(), roundTrip.stored);
        RunDialog([&](CUser& user, CMorvexDisablerDlg& dlg) {
            // Nothing clicked: nothing to write, not even a tidier copy.
            user.OnDialogThread([&] { m_bSaved = dlg.SaveLayoutToRegistry(); });
            EXPECT_EQ(roundTrip.stored, StoredLayout(GetParam()));
            user.Click(IDC_RIGHT_WINDOWS_KEY);
            user.OnDialogThread([&] { m_bSaved = dlg.SaveLayoutToRegistry(); });
            EXPECT_TRUE(user.NoMessageBox());
        });
        EXPECT_TRUE(m_bSaved);
        EXPECT_EQ(roundTrip.saved, StoredLayout(GetParam()));
    }
    ExpectEveryKeyClosed();
}

TEST_P(LayoutStoreTest, TogglesChangeOnlyTheirOwnMappings)
{
    StoreLayout(GetParam(), ScancodeMapValue({ { kLeftCtrl, kCapsLock }, { 0, kRightAlt }, { 0, kPause } }));
    RunDialog([&](CUser& user, CMorvexDisablerDlg& dlg) {
        EXPECT_EQ((std::vector<bool>{ false, false, true, false }), CheckedKeys(user));
        user.Click(IDC_LEFT_WINDOWS_KEY);  // ticked: comes last
        user.Click(IDC_CAPS_LOCK_KEY);     // cleared: its remap goes
        user.Click(IDC_LEFT_CTRL_KEY);     // ticked: Pause stays beside it
        user.Click(IDC_RIGHT_WINDOWS_KEY); // ticked and cleared again: no trace
        user.Click(IDC_RIGHT_WINDOWS_KEY);
        EXPECT_EQ((std::vector<bool>{ true, false, false, true }), CheckedKeys(user));
        user.OnDialogThread([&] {
            EXPECT_TRUE(dlg.m_bChangesPending);
            EXPECT_EQ(L"57436", std::wstring(dlg.m_strKeyText));
            m_bSaved = dlg.SaveLayoutToRegistry();
            EXPECT_FALSE(dlg.m_bChangesPending);
        });
    });
    EXPECT_TRUE(m_bSaved);
    EXPECT_EQ(ScancodeMapValue({ { 0, kRightAlt }, { 0, kPause }, { 0, kLeftWindows }, { 0, kLeftCtrl } }), StoredLayout(GetParam()));
}

TEST_P(LayoutStoreTest, SavingReplacesATextValueWithTheChosenKeysOnly)
{
    StoreLayout(GetParam(), TextValue(kTwoKeysAsText), REG_SZ);
    RunDialog([&](CUser& user, CMorvexDisablerDlg& dlg) {
        user.Click(IDC_RIGHT_WINDOWS_KEY);
        user.OnDialogThread([&] { m_bSaved = dlg.SaveLayoutToRegistry(); });
    });
    DWORD dwType = REG_NONE;
    EXPECT_EQ(ScancodeMapValue({ { 0, kRightWindows } }), StoredLayout(GetParam(), &dwType));
    EXPECT_EQ(DWORD{ REG_BINARY }, dwType);
}

TEST_P(LayoutStoreTest, AnEmptyMapDeletesTheValueAndAMissingValueIsNoError)
{
    for (bool bStored : { true, false })
    {
        SCOPED_TRACE(bStored ? "stored" : "nothing stored");
        if (bStored)
            StoreLayout(GetParam(), ScancodeMapValue({ { 0, kCapsLock } }));
        RunDialog([&](CUser& user, CMorvexDisablerDlg& dlg) {
            if (bStored)
            {
                user.Click(IDC_CAPS_LOCK_KEY);
            }
            user.OnDialogThread([&] { m_bSaved = dlg.SaveLayoutToRegistry(); });
            EXPECT_TRUE(user.NoMessageBox());
        });
        EXPECT_TRUE(m_bSaved);
        EXPECT_EQ(std::nullopt, StoredLayout(GetParam()));
    }
    ExpectEveryKeyClosed();
}

TEST_P(LayoutStoreTest, SavingCreatesTheScopeKeyWhenMissing)
{
    if (GetParam() == Scope::CurrentUser)
    {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Keyboard Layout");
        ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Keyboard Layout");
        ASSERT_FALSE(KeyExists(Scope::CurrentUser));
    }
    RunDialog([&](CUser& user, CMorvexDisablerDlg& dlg) {
        user.Click(IDC_RIGHT_WINDOWS_KEY);
        user.OnDialogThread([&] { m_bSaved = dlg.SaveLayoutToRegistry(); });
    });
    EXPECT_TRUE(KeyExists(GetParam()));
    EXPECT_EQ(ScancodeMapValue({ { 0, kRightWindows } }), StoredLayout(GetParam()));
}

// ---- Failures ------------------------------------------------------------------------------------

enum class Refusal
{
    none,
    writes,  // the key's permissions let it be read only
    reads,   // the key's permissions let it be written only
};

struct FailureCase
{
    const char* pszName;
    Bytes stored;
    int nClicked;  // the key box clicked before the save
    LSTATUS setValueResult;
    LSTATUS deleteValueResult;
    LSTATUS queryValueResult;
    Refusal refusal;
    std::wstring strMessage;
    std::vector<bool> checked;  // as the boxes show it after the save
};

TEST_P(LayoutStoreTest, AFailedSaveSaysWhyAndChangesNothing)
{
    const Bytes stored = ScancodeMapValue({ { 0, kCapsLock }, { kLeftCtrl, kRightAlt } });
    const Bytes capsLockOnly = ScancodeMapValue({ { 0, kCapsLock } });
    const LSTATUS ok = ERROR_SUCCESS, denied = ERROR_ACCESS_DENIED;
    const std::vector<bool> capsLockAndLeftWindows = { true, false, true, false }, leftWindowsOnly = { true, false, false, false };
    const FailureCase failures[] = {
        { "OpenRefused", stored, IDC_LEFT_WINDOWS_KEY, ok, ok, ok, Refusal::writes,
          L"Could Not Open Registry Database Key to Store Data.\n\nThis may be due to Access Rights Issue or Something Else.\n\n"
          L"Try Running the Application as Administrator or Uncheck the CheckBox Which Says For All Users on this Computer.",
          capsLockAndLeftWindows },
        { "DeleteRefused", capsLockOnly, IDC_CAPS_LOCK_KEY, ok, denied, ok, Refusal::none,
          L"Could Not Remove Keyboard Mappings from Registry Database.\n\nThis may be due to Access Rights Issue or Something Else.\n"
          L"Please drop an email with related details to support@morvexsoft.com to get this fixed.",
          { false, false, false, false } },
        { "WriteRefused", stored, IDC_LEFT_WINDOWS_KEY, denied, ok, ok, Refusal::none,
          L"Could Not Store New Keyboard Layout to Registry Database.\n\nThis may be due to Access Rights Issue or Something Else.\n"
          L"Please drop an email with related details to support@morvexsoft.com to get this fixed.",
          capsLockAndLeftWindows },
        // A value that cannot be read shows nothing switched off, and a save after it would have
        // dropped the other tool's mapping.
        { "ReadRefusedByTheKey", stored, IDC_LEFT_WINDOWS_KEY, ok, ok, ok, Refusal::reads,
          L"Could Not Read Keyboard Layout from Registry Database, so Nothing was Changed.\n\n" +
              std::wstring(SystemErrorText(ERROR_ACCESS_DENIED).GetString()),
          leftWindowsOnly },
        // The command line switched Right Ctrl off: Left Ctrl too would leave no Ctrl+Alt+Del.
        { "BothCtrlKeysRefused", ScancodeMapValue({ { 0, kRightCtrl } }), IDC_LEFT_CTRL_KEY, ok, ok, ok, Refusal::none,
          L"Could Not Store the Keyboard Layout, so Nothing was Changed.\n\nThis would switch off both Ctrl keys: on a computer "
          L"that asks for Ctrl+Alt+Del at sign-in, nobody could sign in. Keep LCtrl or RCtrl switched on.",
          { false, false, false, true } },
        { "ReadFails", stored, IDC_LEFT_WINDOWS_KEY, ok, ok, ERROR_REGISTRY_IO_FAILED, Refusal::none,
          L"Could Not Read Keyboard Layout from Registry Database, so Nothing was Changed.\n\n" +
              std::wstring(SystemErrorText(ERROR_REGISTRY_IO_FAILED).GetString()),
          leftWindowsOnly },
    };
    for (const FailureCase& failure : failures)
    {
        SCOPED_TRACE(failure.pszName);
        StoreLayout(GetParam(), failure.stored);
        m_registry.m_setValueResult = failure.setValueResult;
        m_registry.m_deleteValueResult = failure.deleteValueResult;
        m_registry.m_queryValueResult = failure.queryValueResult;
        m_bSaved = -1;
        std::optional<CDenyLayoutAccess> deny;
        if (failure.refusal != Refusal::none)
            deny.emplace(GetParam(), failure.refusal == Refusal::writes ? CDenyLayoutAccess::writes : CDenyLayoutAccess::reads);

        RunDialog([&](CUser& user, CMorvexDisablerDlg& dlg) {
            user.Click(failure.nClicked);
            Entries before;
            user.OnDialogThread([&] { before = EntriesOf(dlg.m_mapDisabledKeys); });

            StartSave(user, dlg);
            const MessageBoxView box = user.WaitForMessageBox();
            ExpectErrorBox(box, user.Dialog(), failure.strMessage.c_str());
            user.Answer(box, IDOK);

            EXPECT_FALSE(m_bSaved);
            user.OnDialogThread([&] {
                EXPECT_TRUE(dlg.m_bChangesPending);
                EXPECT_EQ(before, EntriesOf(dlg.m_mapDisabledKeys));
            });
            EXPECT_EQ(failure.checked, CheckedKeys(user));
            EXPECT_TRUE(user.DialogStillOpen());
        });
        deny.reset();
        m_registry.m_queryValueResult = ok;
        EXPECT_EQ(failure.stored, StoredLayout(GetParam()));
        ExpectEveryKeyClosed();
    }
}

TEST_P(LayoutStoreTest, AKeyThatCannotBeWrittenIsStillRead)
{
    StoreLayout(GetParam(), ScancodeMapValue({ { 0, kCapsLock } }));
    CDenyLayoutAccess readableOnly(GetParam(), CDenyLayoutAccess::writes);
    RunDialog([&](CUser& user, CMorvexDisablerDlg&) { EXPECT_TRUE(user.IsChecked(IDC_CAPS_LOCK_KEY)); });
    ExpectEveryKeyClosed();
}
}  // namespace
