// The check of the stored layout's order that WM_CHECK_STORED_LAYOUT asks for, and its backup on D:.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "DialogDriver.h"
#include "DialogState.h"
#include "RegistryFixture.h"
#include "TestProcess.h"
#include "dialog/MorvexDisablerDlg.h"

namespace
{
// Scan codes as stored: prefix in the high byte.
const WORD kLeftWindows = 0xE05B, kRightWindows = 0xE05C, kCapsLock = 0x003A, kLeftCtrl = 0x001D;
const WORD kRightCtrl = 0xE01D, kRightAlt = 0xE038;

// What the check turns on or off, and what it must leave alone.
const int kCheckedControls[] = { IDC_LEFT_WINDOWS_KEY, IDC_RIGHT_WINDOWS_KEY, IDC_CAPS_LOCK_KEY, IDOK };
const int kUntouchedControls[] = { IDC_LEFT_CTRL_KEY, IDC_ALL_USERS, IDCANCEL, IDC_WEB_LINK };

const WCHAR kBackupFile[] = L"D:\\RegistryData.reg";

std::string UnixPath(const std::wstring& strPath)
{
    using GetUnixFileName = char*(CDECL*)(LPCWSTR);
    const auto pfnGet =
        reinterpret_cast<GetUnixFileName>(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    if (pfnGet == nullptr)
        return {};
    char* pszUnix = pfnGet(strPath.c_str());
    std::string strUnix = pszUnix != nullptr ? pszUnix : "";
    ::HeapFree(::GetProcessHeap(), 0, pszUnix);
    return strUnix;
}

bool FileExists(LPCWSTR pszPath)
{
    return ::GetFileAttributesW(pszPath) != INVALID_FILE_ATTRIBUTES;
}

std::optional<std::string> FileText(LPCWSTR pszPath)
{
    std::ifstream file(pszPath, std::ios::binary);
    if (!file)
        return std::nullopt;
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void WriteFileText(LPCWSTR pszPath, const std::string& strText)
{
    std::ofstream file(pszPath, std::ios::binary | std::ios::trunc);
    file << strText;
    ASSERT_TRUE(file.good()) << "cannot write the file";
}

// A drive D: for as long as this lives: a folder of the build tree.
//
// Wine finds drives through symbolic links in the prefix's dosdevices folder, which no Windows call
// of Wine 8 makes (DefineDosDevice leaves file names alone), so a Unix ln makes the link. Wine
// starts Unix programs too, without a process to wait for, so the drive itself is waited for.
class CBackupDrive
{
public:
    CBackupDrive() : m_strFolder(ModuleFolder() + L"\\backup-drive")
    {
        ::CreateDirectoryW(m_strFolder.c_str(), nullptr);
        const std::string strFolder = UnixPath(m_strFolder);
        const std::string strDriveC = UnixPath(L"C:\\");  // <prefix>/dosdevices/c:/
        const size_t nDevices = strDriveC.rfind("/c:");
        if (strFolder.empty() || nDevices == std::string::npos || strFolder.find(' ') != std::string::npos ||
            strDriveC.find(' ') != std::string::npos)
        {
            ADD_FAILURE() << "cannot place a drive D: from \"" << strFolder << "\" in \"" << strDriveC << "\"";
            return;
        }
        m_strLink = strDriveC.substr(0, nDevices) + "/d:";
        // The prefix is the build's own and has no D: but one a killed run left: that is replaced.
        RunUnix("/bin/ln -sfn " + strFolder + " " + m_strLink);
        EXPECT_TRUE(WaitForDrive(true)) << "no drive D: after linking " << m_strLink;
    }

    ~CBackupDrive()
    {
        ::DeleteFileW(kBackupFile);
        if (!m_strLink.empty())
        {
            RunUnix("/bin/rm -f " + m_strLink);
            EXPECT_TRUE(WaitForDrive(false)) << "drive D: still there";
        }
        ::RemoveDirectoryW(m_strFolder.c_str());
    }

    CBackupDrive(const CBackupDrive&) = delete;
    CBackupDrive& operator=(const CBackupDrive&) = delete;

private:
    static void RunUnix(const std::string& strCommand)
    {
        std::wstring strCommandLine(strCommand.begin(), strCommand.end());
        STARTUPINFOW startup = { sizeof(startup) };
        PROCESS_INFORMATION process = {};
        ASSERT_TRUE(::CreateProcessW(nullptr, strCommandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
            << strCommand;
        for (HANDLE h : { process.hThread, process.hProcess })
        {
            if (h != nullptr)
                ::CloseHandle(h);
        }
    }

    static bool WaitForDrive(bool bPresent)
    {
        for (int i = 0; i < 100; ++i)
        {
            if (FileExists(L"D:\\") == bPresent)
                return true;
            ::Sleep(50);
        }
        return false;
    }

    std::wstring m_strFolder;
    std::string m_strLink;
};

class StoredLayoutCheckTest : public PerScopeTest
{
protected:
    INT_PTR RunDialog(const std::function<void(CUser&, CMorvexDisablerDlg&)>& script)
    {
        CMorvexDisablerDlg dlg;
        return CDialogSession::Run(dlg, [&](CUser& user) { script(user, dlg); });
    }

    HKEY ScopeRoot() const { return GetParam() == Scope::AllUsers ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }
    LPCWSTR ScopePath() const
    {
        return GetParam() == Scope::AllUsers ? L"SYSTEM\\CurrentControlSet\\Control\\Keyboard Layout" : L"Keyboard Layout";
    }

    // Sets the layout up as a case wants it: no key, a key without the value, or the value.
    void StoreCase(bool bKey, const std::optional<Bytes>& stored, DWORD dwType = REG_BINARY)
    {
        RemoveStoredLayout(GetParam());
        if (!bKey)
        {
            ::RegDeleteTreeW(ScopeRoot(), ScopePath());
            ::RegDeleteKeyW(ScopeRoot(), ScopePath());
            ASSERT_FALSE(KeyExists(GetParam()));
        }
        else if (stored)
        {
            StoreLayout(GetParam(), *stored, dwType);
        }
        else
        {
            HKEY hKey = nullptr;
            ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(ScopeRoot(), ScopePath(), 0, nullptr, 0, KEY_READ, nullptr, &hKey, nullptr));
            ::RegCloseKey(hKey);
        }
    }
};

INSTANTIATE_PER_SCOPE(StoredLayoutCheckTest);

Bytes Cut(Bytes value, size_t cb)
{
    value.resize(cb);
    return value;
}

const Bytes kTableOrder = ScancodeMapValue({ { 0, kLeftWindows }, { 0, kRightWindows }, { 0, kCapsLock }, { 0, kLeftCtrl } });

struct CheckCase
{
    const char* pszName;
    bool bKey;
    std::optional<Bytes> stored;
    bool bEnabled;
    DWORD dwType = REG_BINARY;
};

const CheckCase kCheckCases[] = {
    { "NoKey", false, std::nullopt, true },
    { "NoValue", true, std::nullopt, true },
    { "TableOrder", true, kTableOrder, true },
    { "TableOrderThenOtherKeys", true,
      ScancodeMapValue({ { 0, kLeftWindows }, { 0, kRightWindows }, { 0, kCapsLock }, { 0, kLeftCtrl }, { 0, kRightAlt }, { 0, kCapsLock } }),
      true },
    // Only the low byte of each source counts: targets and prefixes are not looked at.
    { "RemapsAndPrefixesNotCompared", true,
      ScancodeMapValue({ { kLeftCtrl, 0x005B }, { 0, kRightWindows }, { kRightAlt, kCapsLock }, { 0, kRightCtrl } }), true },
    { "OnlyCapsLock", true, ScancodeMapValue({ { 0, kCapsLock } }), false },
    { "AnotherOrder", true, ScancodeMapValue({ { 0, kRightWindows }, { 0, kLeftWindows }, { 0, kCapsLock }, { 0, kLeftCtrl } }), false },
    { "AnotherKeyFirst", true,
      ScancodeMapValue({ { 0, kRightAlt }, { 0, kLeftWindows }, { 0, kRightWindows }, { 0, kCapsLock }, { 0, kLeftCtrl } }), false },
    // Twenty bytes: Left and Right Windows match, Caps Lock and Left Ctrl are missing.
    { "ShortValueWhoseBytesMatch", true, Cut(kTableOrder, 20), false },
    { "EndsJustAfterLeftCtrl", true, Cut(kTableOrder, 27), true },
    { "EndsJustBeforeLeftCtrl", true, Cut(kTableOrder, 26), false },
    { "EmptyValue", true, Bytes{}, false },
    // A value the keyboard driver ignores stores nothing, whatever its bytes.
    { "TextValue", true, TextValue(L"00000000000000000300000000003a0000000000"), true, REG_SZ },
    { "OnlyCapsLockNotBinary", true, ScancodeMapValue({ { 0, kCapsLock } }), true, REG_NONE },
};

TEST_P(StoredLayoutCheckTest, EnablesTheFirstThreeKeysAndOkOnlyForTheTableKeysInTableOrder)
{
    for (const CheckCase& checkCase : kCheckCases)
    {
        SCOPED_TRACE(checkCase.pszName);
        StoreCase(checkCase.bKey, checkCase.stored, checkCase.dwType);
        RunDialog([&](CUser& user, CMorvexDisablerDlg&) {
            SCOPED_TRACE(checkCase.pszName);
            // Every control starts the other way round, so that both a change and its absence show.
            std::vector<bool> untouched;
            user.OnDialogThread([&] {
                for (int nID : kCheckedControls)
                    ::EnableWindow(user.Control(nID), !checkCase.bEnabled);
                for (int nID : kUntouchedControls)
                {
                    untouched.push_back(!user.IsEnabled(nID));
                    ::EnableWindow(user.Control(nID), untouched.back());
                }
            });

            user.Post(WM_CHECK_STORED_LAYOUT, 0, 0);
            for (int nID : kCheckedControls)
                EXPECT_EQ(checkCase.bEnabled, user.IsEnabled(nID)) << "control " << nID;
            for (size_t i = 0; i < std::size(kUntouchedControls); ++i)
                EXPECT_EQ(untouched[i], user.IsEnabled(kUntouchedControls[i])) << "control " << kUntouchedControls[i];
            EXPECT_TRUE(user.DialogStillOpen());
            EXPECT_TRUE(user.NoMessageBox());
        });
        EXPECT_EQ(checkCase.bKey ? checkCase.stored : std::nullopt, StoredLayout(GetParam()));
    }
}

TEST_P(StoredLayoutCheckTest, LeavesTheLayoutShownAndWhatIsPending)
{
    const Bytes stored = ScancodeMapValue({ { 0, kLeftWindows }, { 0, kRightWindows }, { 0, kCapsLock }, { 0, kLeftCtrl }, { kLeftCtrl, kRightAlt } });
    StoreLayout(GetParam(), stored);
    const INT_PTR nResult = RunDialog([&](CUser& user, CMorvexDisablerDlg& dlg) {
        user.Click(IDC_RIGHT_WINDOWS_KEY);
        user.Click(IDC_LEFT_CTRL_KEY);
        const DialogState expected = StateOf(user, dlg);
        ASSERT_TRUE(expected.bChangesPending);

        user.Post(WM_CHECK_STORED_LAYOUT, 0, 0);
        EXPECT_EQ(expected, StateOf(user, dlg));

        // What the boxes show is still stored by OK.
        ASSERT_TRUE(user.IsEnabled(IDOK));
        user.Click(IDOK);
        const MessageBoxView question = user.WaitForMessageBox();
        ASSERT_TRUE(question) << "OK stored nothing and asked nothing";
        user.Answer(question, IDNO);
    });
    EXPECT_EQ(IDOK, nResult);
    EXPECT_EQ(ScancodeMapValue({ { 0, kLeftWindows }, { 0, kCapsLock }, { kLeftCtrl, kRightAlt } }), StoredLayout(GetParam()));
}

// ---- The backup ------------------------------------------------------------------------------------

enum class Backup
{
    Old,  // the earlier file is still there, whole
    New,  // a backup of the scope's key took its place
};

// What stands at the name the new backup is first saved under.
enum class AtNewName
{
    Nothing,
    Leftover,   // a file an interrupted check left
    Directory,  // something the save cannot replace: the save fails
};

struct BackupCase
{
    const char* pszName;
    bool bKey;
    std::optional<Bytes> stored;
    AtNewName atNewName;
    Backup backup;
};

// The test never enables the backup privilege: the program must do so for the save itself.
const BackupCase kBackupCases[] = {
    { "Written", true, ScancodeMapValue({ { 0, kCapsLock } }), AtNewName::Nothing, Backup::New },
    { "WrittenNoValue", true, std::nullopt, AtNewName::Nothing, Backup::New },
    { "LeftoverCleared", true, ScancodeMapValue({ { 0, kCapsLock } }), AtNewName::Leftover, Backup::New },
    { "FailedSaveKeepsTheEarlierBackup", true, ScancodeMapValue({ { 0, kCapsLock } }), AtNewName::Directory, Backup::Old },
    { "NoKey", false, std::nullopt, AtNewName::Nothing, Backup::Old },
};

const WCHAR kNewBackupFile[] = L"D:\\RegistryData.reg.new";

std::string HexText(const Bytes& value)
{
    std::string strHex;
    for (BYTE b : value)
    {
        char sz[4];
        snprintf(sz, sizeof(sz), "%02x", b);
        strHex += (strHex.empty() ? "" : ",") + std::string(sz);
    }
    return strHex;
}

TEST_P(StoredLayoutCheckTest, ReplacesTheBackupOnDriveDOnlyWithACompleteOne)
{
    CBackupDrive drive;
    if (HasFailure())
        return;
    const std::string strOld = "an earlier backup\n";
    for (const BackupCase& backupCase : kBackupCases)
    {
        SCOPED_TRACE(backupCase.pszName);
        StoreCase(backupCase.bKey, backupCase.stored);
        WriteFileText(kBackupFile, strOld);
        if (backupCase.atNewName == AtNewName::Leftover)
            WriteFileText(kNewBackupFile, "half a backup");
        if (backupCase.atNewName == AtNewName::Directory)
        {
            ASSERT_TRUE(::CreateDirectoryW(kNewBackupFile, nullptr));
        }

        const UINT uErrorMode = ::GetThreadErrorMode();
        RunDialog([&](CUser& user, CMorvexDisablerDlg&) { user.Post(WM_CHECK_STORED_LAYOUT, 0, 0); });
        // The system's "no disk" boxes are off for the backup only.
        EXPECT_EQ(uErrorMode, ::GetThreadErrorMode());

        const std::optional<std::string> backup = FileText(kBackupFile);
        if (backupCase.backup == Backup::Old)
        {
            EXPECT_EQ(strOld, backup);
        }
        else
        {
            // Wine writes its own text format where Windows writes a hive.
            ASSERT_TRUE(backup);
            EXPECT_EQ(0u, backup->find("WINE REGISTRY")) << *backup;
            EXPECT_NE(std::string::npos, backup->find("Keyboard Layout")) << *backup;
            if (backupCase.stored)
                EXPECT_NE(std::string::npos, backup->find("\"Scancode Map\"=hex:" + HexText(*backupCase.stored))) << *backup;
            else
                EXPECT_EQ(std::string::npos, backup->find("Scancode Map")) << *backup;
        }
        // Nothing is left under the new name but what the program could not remove, and the
        // privilege is off again.
        EXPECT_EQ(backupCase.atNewName == AtNewName::Directory, FileExists(kNewBackupFile));
        EXPECT_FALSE(PrivilegeEnabled(SE_BACKUP_NAME));
        EXPECT_EQ(backupCase.bKey ? backupCase.stored : std::nullopt, StoredLayout(GetParam()));
        ::RemoveDirectoryW(kNewBackupFile);
        ::DeleteFileW(kBackupFile);
    }
}
}  // namespace
