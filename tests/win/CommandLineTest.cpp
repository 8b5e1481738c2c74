// The command line in-process: its arguments, its edit, and what only the seams can make fail.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wctype.h>

#include <functional>
#include <string>

#include "RegistryFixture.h"
#include "TestProcess.h"
#include "cmdline/CommandLine.h"
#include "system/ScopeTexts.h"
#include "system/SystemErrorText.h"
#include "console/DialogLauncher.h"

namespace
{
// Scan codes as stored: prefix in the high byte.
const WORD kLeftWindows = 0xE05B, kRightWindows = 0xE05C, kCapsLock = 0x003A, kLeftCtrl = 0x001D;
const WORD kRightCtrl = 0xE01D, kRightAlt = 0xE038, kApplication = 0xE05D, kLetterB = 0x0030;
// Rows of the key table as the command line holds them.
const KeySet kLWin = 1, kRWin = 2, kCaps = 4, kLCtrl = 8, kAll = 15;

KeySet Key(const wchar_t* pszName)
{
    return CKeyTable::Bit(CKeyTable::Find(pszName, wcslen(pszName)));
}
const KeySet kApps = Key(L"Apps"), kLAlt = Key(L"LAlt"), kSleep = Key(L"Sleep"), kF24 = Key(L"F24");

// ---- Arguments -------------------------------------------------------------------------------------

// Hands the arguments over one by one, as CWinApp::ParseCommandLine does.
void Parse(CMorvexCommandLineInfo& info, const std::vector<std::wstring>& args)
{
    for (size_t i = 0; i < args.size(); ++i)
    {
        const WCHAR* pszParam = args[i].c_str();
        const BOOL bFlag = pszParam[0] == L'/' || pszParam[0] == L'-';
        info.ParseParam(pszParam + bFlag, bFlag, i + 1 == args.size());
    }
}

struct ArgumentsCase
{
    std::vector<std::wstring> args;
    const wchar_t* pszError;  // a part of the error; empty when the arguments are good
    KeySet disable, enable;
    BOOL bStatus, bRestart, bQuiet, bUsage;
    DscOperation dsc = DscOperation::none;
    BOOL bEnableDisabled = FALSE;
};

// The bad input that the end-to-end table does not start the program for.
TEST(CommandLineArgumentsTest, ReadsSwitchesInAnyCaseAndOrderAndNamesTheFirstFault)
{
    // A character of two code units across the 40th goes whole to what is cut off.
    const std::wstring strPairAtTheCut = std::wstring(39, L'x') + L"\U0001F600";
    const std::wstring strCutBeforeThePair = L"Unknown key \"" + std::wstring(39, L'x') + L"...\"";
    const std::wstring strLong(5000, L'y');
    const std::wstring strLongCut = L"as in /disable \"LWin, " + std::wstring(40, L'y') + L"...\".";
    const ArgumentsCase cases[] = {
        { { L"/disable", L"LWin,CapsLock" }, L"", kLWin | kCaps, 0 },
        { { L"-QUIET", L"-Enable", L" rwin , LCTRL ", L"/Restart" }, L"", 0, kRWin | kLCtrl, FALSE, TRUE, TRUE },
        { { L"/disable", L"CapsLock,CapsLock", L"/enable", L"LWin" }, L"", kCaps, kLWin },
        { { L"/status", L"/quiet" }, L"", 0, 0, TRUE, FALSE, TRUE },
        // The keys beyond the four, by Windows' names in any case; All stays the four.
        { { L"/disable", L"apps,SLEEP,LAlt", L"/enable", L"All" }, L"", kApps | kSleep | kLAlt, kAll },
        { { L"/enable", L"f24, Disabled" }, L"", 0, kF24, FALSE, FALSE, FALSE, FALSE, DscOperation::none, TRUE },
        { { L"/disable", L"LWin,Disabled" }, L"/disable Disabled switches off nothing" },
        { { L"/disable", L"F25" },
          L"Unknown key \"F25\": the keys are LWin, RWin, CapsLock, LCtrl and All, and the others that /? and README.txt list." },
        { { L"/enable", L"Volume Up" }, L"Unknown key \"Volume Up\"" },
        { { L"-?" }, L"", 0, 0, FALSE, FALSE, FALSE, TRUE },
        { { L"/" }, L"Unknown switch \"/\"" },
        { { L"/disable:LWin" }, L"Unknown switch" },
        { { L"/enable", L"/quiet" }, L"/enable needs a list of keys" },
        { { L"/disable", L"LWin,,RWin" }, L"An empty name in the list \"LWin,,RWin\": separate the keys with one comma each." },
        { { L"/enable", L",LWin" }, L"An empty name in the list" },
        { { L"/disable", L"LWin,", L"RWin", L"/quiet" },
          L"Unexpected argument \"RWin\" after the list of /disable: separate the keys with commas, and quote a list that holds "
          L"spaces, as in /disable \"LWin, RWin\"." },
        { { L"/disable", L"LWin,", L"/quiet" }, L"An empty name in the list \"LWin,\"" },
        { { L"/disable", L"RWin", L"/?" }, L"/? goes alone" },
        { { L"/enable", L"LWin", L"/disable", L"all,LWin" }, L"both /disable and /enable: LWin." },
        { { L"/status", L"/disable", L"LWin" }, L"/status changes nothing" },
        { { L"/restart" }, L"/restart goes with /disable or /enable" },
        { { L"/quiet" }, L"Nothing to do" },
        { { L"" }, L"Unexpected argument \"\"" },
        // What an error echoes of an argument can steer no console and split no line.
        { { L"/disable", L"\x1b]0;title\x07\x1b[2J" }, L"Unknown key \"\xFFFD]0;title\xFFFD\xFFFD[2J\"" },
        { { L"/disable", L"LWin,", L"R\r\nWin", L"/quiet" },
          L"Unexpected argument \"R\xFFFD\xFFFDWin\" after the list of /disable: separate the keys with commas, and quote a list "
          L"that holds spaces, as in /disable \"LWin, R\xFFFD\xFFFDWin\"." },
        { { L"/quiet\t" }, L"Unknown switch \"/quiet\xFFFD\"" },
        { { L"\x9b" L"31m" }, L"Unexpected argument \"\xFFFD" L"31m\"" },
        { { L"/enable", L"LWin\x202E,RWin" }, L"Unknown key \"LWin\xFFFD\"" },
        // Invisible formatting and half a pair could hide what a name really is.
        { { L"/enable", L"\x200BLWin\x200F\x061C\x2060\x2064\xFEFF\xD800" },
          L"Unknown key \"\xFFFDLWin\xFFFD\xFFFD\xFFFD\xFFFD\xFFFD\xFFFD\"" },
        { { L"/disable", strPairAtTheCut }, strCutBeforeThePair.c_str() },
        // Both mentions of a stray argument are cut.
        { { L"/disable", L"LWin,", strLong }, strLongCut.c_str() },
        // The DSC resource's operations, as its manifest gives them, and nothing beside them.
        { { L"-DSC", L"Export" }, L"", 0, 0, FALSE, FALSE, FALSE, FALSE, DscOperation::exportAll },
        { { L"/dsc", L"set" }, L"", 0, 0, FALSE, FALSE, FALSE, FALSE, DscOperation::set },
        { { L"/dsc" }, L"/dsc needs an operation: get, set, test, export or schema." },
        { { L"/dsc", L"/quiet" }, L"/dsc needs an operation" },
        { { L"/dsc", L"whatif" }, L"Unknown operation \"whatif\" of /dsc" },
        { { L"/dsc", L"get", L"extra" }, L"Unexpected argument \"extra\"." },
        { { L"/dsc", L"test", L"/json" }, L"/dsc goes alone" },
        { { L"/status", L"/dsc", L"get" }, L"/dsc goes alone" },
    };
    for (const ArgumentsCase& tested : cases)
    {
        std::wstring strArgs;
        for (const std::wstring& strArg : tested.args)
            strArgs += L" [" + strArg + L"]";
        SCOPED_TRACE(testing::PrintToString(strArgs));

        CMorvexCommandLineInfo info;
        Parse(info, tested.args);
        EXPECT_TRUE(info.HasArguments());
        const std::wstring strError = info.m_strError.GetString();
        EXPECT_NE(std::wstring::npos, strError.find(tested.pszError)) << testing::PrintToString(strError);
        EXPECT_EQ(std::wstring::npos, strError.find_first_of(L"\x1b\x07\r\n\t\x9b\x202E\x200B\xFEFF")) << testing::PrintToString(strError);
        EXPECT_GT(300u, strError.size());
        if (*tested.pszError == L'\0')
        {
            EXPECT_EQ(L"", strError);
            EXPECT_EQ(tested.disable, info.m_disable);
            EXPECT_EQ(tested.enable, info.m_enable);
            EXPECT_EQ(tested.bStatus, info.m_bStatus);
            EXPECT_EQ(tested.bRestart, info.m_bRestart);
            EXPECT_EQ(tested.bQuiet, info.m_bQuiet);
            EXPECT_EQ(tested.bUsage, info.m_bUsage);
            EXPECT_EQ(tested.dsc, info.m_dsc);
            EXPECT_EQ(tested.bEnableDisabled, info.m_bEnableDisabled);
        }
    }
}

// Whoever made the object under the turn's name chose its account's name: it is shown as outside
// text, and what this run may not even read is said as such.
TEST(CommandLineReportTest, SaysWhoHoldsTheTurnAsOutsideText)
{
    const struct
    {
        const wchar_t* pszHolder;
        BOOL bDenied;
        const wchar_t* pszText;
    } cases[] = {
        { L"VM\\eve\x1b[2J\x202E", FALSE, L"held by an object that VM\\eve\xFFFD[2J\xFFFD made, not SYSTEM or an administrator." },
        { L"", FALSE, L"held by an object that an unknown account made, not SYSTEM or an administrator." },
        { L"", TRUE, L"held by an object of an account that cannot be identified, which no copy of this program may use." },
        { L"BUILTIN\\Administrators", TRUE, L"held by an object that BUILTIN\\Administrators made, which no copy of this program may use." },
    };
    for (const auto& tested : cases)
    {
        LayoutEdit edit;
        edit.result = LayoutEdit::lockSquatted;
        edit.strLockName = L"Global\\MorvexDisabler.KeyboardLayout";
        edit.strLockHolder = tested.pszHolder;
        edit.bLockDenied = tested.bDenied;
        EXPECT_EQ(std::wstring(L"Could not take turns at the keyboard layout: The name Global\\MorvexDisabler.KeyboardLayout is ") +
                      tested.pszText,
                  CCommandLineReport::FailureText(edit, TRUE).GetString());
    }
}

// Where an unknown key's error sends people: the usage text names every key of the table.
TEST(CommandLineArgumentsTest, TheUsageTextNamesEveryKeyOfTheTable)
{
    const std::wstring strUsage = CCommandLine::UsageText();
    for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
    {
        const std::wstring strName = CKeyTable::At(nRow).pszName;
        const bool bFunctionKey = strName.size() <= 3 && strName[0] == L'F';
        const std::wstring strFound = bFunctionKey ? L"F1 to F24" : strName;
        const size_t nAt = strUsage.find(strFound);
        ASSERT_NE(std::wstring::npos, nAt) << testing::PrintToString(strName);
        // A whole word: "Insert", not a part of "Inserted".
        EXPECT_FALSE(iswalnum(strUsage[nAt + strFound.size()])) << testing::PrintToString(strName);
    }
}

// ---- The edit --------------------------------------------------------------------------------------

struct EditCase
{
    const char* pszName;
    Bytes stored;
    KeySet disable, enable;
    Bytes expected;
    BOOL bChanged;
    BOOL bEnableDisabled = FALSE;
};

TEST(CommandLineEditTest, ChangesOnlyTheNamedKeysOwnMappingsAndSaysWhetherTheValueChanged)
{
    // Caps Lock sent to Left Ctrl by another tool.
    const Bytes remapped = ScancodeMapValue({ { kLeftCtrl, kCapsLock }, { 0, kRightCtrl } });
    const EditCase cases[] = {
        { "DisableReplacesARemapInPlaceAndAppends", remapped, kCaps | kLWin, 0,
          ScancodeMapValue({ { 0, kCapsLock }, { 0, kRightCtrl }, { 0, kLeftWindows } }), TRUE },
        { "EnableLeavesARemap", remapped, 0, kCaps | kLCtrl, remapped, FALSE },
        { "DisabledAlready", ScancodeMapValue({ { 0, kRightCtrl }, { 0, kLeftWindows } }), kLWin, 0,
          ScancodeMapValue({ { 0, kRightCtrl }, { 0, kLeftWindows } }), FALSE },
        { "EnabledAlready", Bytes(), 0, kAll, ScancodeMapValue({}), FALSE },
        { "BothListsInTableOrder", ScancodeMapValue({ { 0, kLeftWindows }, { kLeftCtrl, kRightAlt } }), kLCtrl | kRWin, kLWin,
          ScancodeMapValue({ { kLeftCtrl, kRightAlt }, { 0, kRightWindows }, { 0, kLeftCtrl } }), TRUE },
        // Disabled: every key of the table sent to nothing, and nothing else; a key named in
        // /disable goes on being switched off.
        { "EnableDisabledLeavesRemapsAndOtherKeys",
          ScancodeMapValue({ { kLeftCtrl, kCapsLock }, { 0, kRightCtrl }, { 0, kApplication }, { 0, kLetterB }, { 0, kLeftWindows } }),
          kLWin, 0, ScancodeMapValue({ { kLeftCtrl, kCapsLock }, { 0, kLetterB }, { 0, kLeftWindows } }), TRUE, TRUE },
        { "EnableDisabledWithNoKeyOfTheTableDisabled", ScancodeMapValue({ { kLeftCtrl, kCapsLock }, { 0, kLetterB } }), 0, 0,
          ScancodeMapValue({ { kLeftCtrl, kCapsLock }, { 0, kLetterB } }), FALSE, TRUE },
    };
    for (const EditCase& tested : cases)
    {
        SCOPED_TRACE(tested.pszName);
        CMapStringToString map;
        CDisabledKeyMap::Load(map, tested.stored.data(), tested.stored.size());
        CMorvexCommandLineInfo info;
        info.m_disable = tested.disable;
        info.m_enable = tested.enable;
        info.m_bEnableDisabled = tested.bEnableDisabled;
        EXPECT_EQ(tested.bChanged, CDisabledKeyMap::Apply(map, CCommandLine::ChangeOf(info)));
        CByteArray value;
        CDisabledKeyMap::Encode(map, value);
        EXPECT_EQ(tested.expected, Bytes(value.GetData(), value.GetData() + value.GetSize()));
    }
}

// ---- Running it ------------------------------------------------------------------------------------

class CCapturedOutput : public CCommandLineOutput
{
public:
    void Write(LPCWSTR pszText, Kind kind) override
    {
        m_strText += pszText;
        m_strText += L"\n";
        m_lastKind = kind;
    }

    std::wstring m_strText;
    Kind m_lastKind = info;
};

// A restart or log-off request, with the privilege as it stood when it was made.
std::wstring Request(const wchar_t* pszCall, UINT uFlags, DWORD dwReason, bool bShutdownPrivilegeEnabled)
{
    return std::wstring(pszCall) + L" flags " + std::to_wstring(uFlags) + L" reason " + std::to_wstring(dwReason) +
           (bShutdownPrivilegeEnabled ? L" privilege on" : L" privilege off");
}

// Never ends the prefix's session: records what was asked and answers as told, on the window
// station and in the session it is told. m_onRequest sees what was written before the request.
class CFakeSessionControl : public CSessionControl
{
public:
    BOOL ExitWindowsEx(UINT uFlags, DWORD dwReason) override
    {
        m_requests.push_back(Request(L"ExitWindowsEx", uFlags, dwReason, PrivilegeEnabled(SE_SHUTDOWN_NAME)));
        m_onRequest();
        return m_bAccept;
    }
    BOOL InitiateSystemShutdownEx(DWORD dwReason) override
    {
        m_requests.push_back(Request(L"InitiateSystemShutdownEx", 0, dwReason, PrivilegeEnabled(SE_SHUTDOWN_NAME)));
        m_onRequest();
        return m_bAccept;
    }
    BOOL IsOnInteractiveWindowStation() const override { return m_bInteractive; }
    BOOL GetSessionId(DWORD* pdwSessionId) const override
    {
        *pdwSessionId = m_dwSessionId;
        return TRUE;
    }
    BOOL RunsAsSessionUser() const override { return m_bSessionUser; }

    BOOL m_bAccept = TRUE;
    BOOL m_bInteractive = TRUE;
    BOOL m_bSessionUser = TRUE;
    DWORD m_dwSessionId = 1;
    std::vector<std::wstring> m_requests;
    std::function<void()> m_onRequest = [] {};
};

// The exit codes that the log's lines end with, or "none" without a log.
std::wstring LoggedExits(const std::wstring& strLog)
{
    std::wstring strExits = L"none";
    if (FILE* pFile = _wfopen(strLog.c_str(), L"rb"))
    {
        char szLine[4096];
        for (strExits.clear(); fgets(szLine, sizeof(szLine), pFile) != nullptr;)
            strExits += (strExits.empty() ? L"" : L" ") + std::to_wstring(atoi(strrchr(szLine, '=') + 1));
        fclose(pFile);
    }
    return strExits;
}

class CommandLineRunTest : public PerScopeTest
{
protected:
    bool AllUsers() const { return GetParam() == Scope::AllUsers; }
};

INSTANTIATE_PER_SCOPE(CommandLineRunTest);

struct RunCase
{
    const char* pszName;
    std::vector<std::wstring> args;
    Bytes stored;
    LSTATUS setValueResult, deleteValueResult, queryValueResult;
    BOOL bAcceptRestart;
    BOOL bInteractive;  // on the window station a user sees, rather than a deployment agent's
    int nExit;
    Bytes expected;
    std::wstring strOutput;
    std::wstring strRequested;  // empty: none
    // When the scope's key was last written, as the run reads it; the test's own write by default.
    enum LastWrite
    {
        justNow,
        beforeWindowsStarted,
        in2286,  // the clock was fast then
        unreadable,
        noKey,   // a fresh registry's
    } lastWrite = justNow;
    bool bRestartPending = false;  // a change the program stored since Windows started
    DWORD dwSessionId = 1;         // 0: where services and startup scripts run
    const wchar_t* pszLogged = L"none";  // the exit codes the log's lines end with
    bool bAnotherAccount = false;        // runs as another account than the session's user
    bool bOrdinaryPendingKey = false;    // an ordinary key where the program keeps its volatile one
};

// What Wine never refuses: a write, a delete, a restart; a read that fails for want of memory; what
// it never is: a deployment agent on a window station nobody sees, or a startup script in session
// 0, which ExitWindowsEx cannot restart from; and what it never has: a layout stored before Windows
// started, or stored while the clock was fast. The run is recorded before the restart is asked for.
TEST_P(CommandLineRunTest, ReportsFailuresAndWhatWaitsForARestartInItsExitCode)
{
    // Another tool's: the B key sent to Left Ctrl.
    const Bytes other = ScancodeMapValue({ { kLeftCtrl, kLetterB } });
    const Bytes disabled = ScancodeMapValue({ { kLeftCtrl, kLetterB }, { 0, kLeftWindows } });
    const LSTATUS ok = ERROR_SUCCESS, denied = ERROR_ACCESS_DENIED, noMemory = ERROR_NOT_ENOUGH_MEMORY;
    const std::wstring strValue = std::wstring(L"the value \"Scancode Map\" of ") +
                                  (AllUsers() ? L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Keyboard Layout: "
                                              : L"HKEY_CURRENT_USER\\Keyboard Layout: ");
    const std::wstring strDenied = SystemErrorText(ERROR_ACCESS_DENIED).GetString();
    const std::wstring strNoMemory = SystemErrorText(ERROR_NOT_ENOUGH_MEMORY).GetString();
    // In the current user's scope every change is refused before the value is read: nothing is
    // stored and nothing asked for, whatever the row would do for all users.
    const std::wstring strRefused = L"The command line changes no current user's layout: Windows 7 and later never apply it, so "
                                    L"no restart or log-off would bring the change into effect. Nothing was changed.\n"
                                    L"The scope comes from the setting m_bApplyChangesForAllUsers = 0 in HKCU\\Software\\MorvexSoft\\";
    const std::wstring strWhyNoChange = L"The command line changes nothing in this scope. The scope comes from the setting "
                                        L"m_bApplyChangesForAllUsers = 0 in HKCU\\Software\\MorvexSoft\\";
    const bool bAll = AllUsers();
    const DWORD dwPlanned = SHTDN_REASON_MAJOR_OPERATINGSYSTEM | SHTDN_REASON_MINOR_RECONFIG | SHTDN_REASON_FLAG_PLANNED;
    // A restart is asked of the computer, whoever runs the program.
    const std::wstring shutdown = Request(L"InitiateSystemShutdownEx", 0, dwPlanned, true), none;
    wchar_t szTemp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, szTemp);
    const std::wstring strLog = std::wstring(szTemp) + L"morvex-run-test.log";
    const std::wstring strAsking = L"Stored. Asking Windows to restart the computer.";
    const std::wstring strRequestRefused = ScopeTexts::For(TRUE).pszRequestFailed;
    const RunCase cases[] = {
        { "RestartAccepted", { L"/disable", L"LWin", L"/restart", L"/log", strLog }, other, ok, ok, ok, TRUE, TRUE,
          exitRestartRequested, disabled, L"Other mappings: 1\n" + strAsking + L"\n\n<asked; logged: 1641>\n", shutdown,
          RunCase::justNow, false, 1, L"1641" },
        // What really happened follows the record: a second line for people and in the log, and
        // nothing after the one object a script parses.
        { "RestartRefused", { L"/restart", L"/disable", L"LWin", L"/log", strLog }, other, ok, ok, ok, FALSE, TRUE, exitFailed,
          disabled, strAsking + L"\n\n<asked; logged: 1641>\n" + strRequestRefused + L"\n", shutdown, RunCase::justNow, false, 1,
          L"1641 1" },
        { "RestartRefusedWithJson", { L"/restart", L"/disable", L"LWin", L"/json", L"/log", strLog }, other, ok, ok, ok, FALSE,
          TRUE, exitFailed, disabled, strAsking + L"\"}\n<asked; logged: 1641>\n" + strRequestRefused + L"\n", shutdown,
          RunCase::justNow, false, 1, L"1641 1" },
        { "RestartAcceptedFromAnAgent", { L"/disable", L"LWin", L"/restart" }, other, ok, ok, ok, TRUE, FALSE,
          exitRestartRequested, disabled, L"Stored. Asking Windows to restart the computer.", shutdown },
        { "RestartRefusedFromAnAgent", { L"/disable", L"LWin", L"/restart" }, other, ok, ok, ok, FALSE, FALSE, exitFailed, disabled,
          strRequestRefused, shutdown },
        // Session 0's window station is flagged visible too, and nobody is signed on there.
        { "RestartAcceptedInSessionZero", { L"/disable", L"LWin", L"/restart" }, other, ok, ok, ok, TRUE, TRUE,
          exitRestartRequested, disabled, L"Stored. Asking Windows to restart", shutdown, RunCase::justNow, false, 0 },
        // An administrator's credentials typed over a user's shoulder: the computer restarts all the
        // same.
        { "RestartAsAnotherAccount", { L"/disable", L"LWin", L"/restart" }, other, ok, ok, ok, TRUE, TRUE,
          exitRestartRequested, disabled, L"Stored. Asking Windows to restart", shutdown, RunCase::justNow, false, 1, L"none", true },
        { "StoredWithoutRestartByAnAgent", { L"/disable", L"LWin" }, other, ok, ok, ok, TRUE, FALSE, exitRestartNeeded, disabled,
          L"Other mappings: 1\nStored. ", none },
        { "WriteFails", { L"/disable", L"LWin" }, other, denied, ok, ok, TRUE, TRUE, exitFailed, other,
          L"Could not write " + strValue + strDenied + L"\nNothing was changed.\n", none },
        { "DeleteFails", { L"/enable", L"All" }, ScancodeMapValue({ { 0, kCapsLock } }), ok, denied, ok, TRUE, TRUE, exitFailed,
          ScancodeMapValue({ { 0, kCapsLock } }), L"Could not delete " + strValue + strDenied + L"\nNothing was changed.\n", none },
        // Not read is not "nothing stored": disabling would have dropped the other mapping.
        { "ReadFails", { L"/disable", L"LWin" }, other, ok, ok, noMemory, TRUE, TRUE, exitFailed, other,
          L"Could not read " + strValue + strNoMemory + L"\nNothing was changed.\n", none },
        { "StatusReadFails", { L"/status" }, other, ok, ok, noMemory, TRUE, TRUE, exitFailed, other,
          L"Could not read " + strValue + strNoMemory + L"\n", none },
        // What a second identical run asks for waits for a restart until Windows has started with it.
        { "NothingToChangeInEffect", { L"/disable", L"LWin" }, disabled, ok, ok, ok, TRUE, TRUE, exitDone, disabled,
          L"In effect: yes, since Windows started at ", none, RunCase::beforeWindowsStarted },
        { "NothingToChangeNotInEffectYet", { L"/disable", L"LWin" }, disabled, ok, ok, ok, TRUE, TRUE, exitRestartNeeded, disabled,
          L"Nothing to change, but what is stored takes effect only when the computer restarts.\n", none },
        { "StatusWithoutTheTime", { L"/status" }, disabled, ok, ok, ok, TRUE, TRUE, exitDone, disabled,
          bAll ? L"In effect: unknown. When the value was stored cannot be read; Windows started at " : L"In effect: no.", none,
          RunCase::unreadable },
        { "StatusAfterARemoval", { L"/status" }, Bytes(), ok, ok, ok, TRUE, TRUE, exitDone, Bytes(),
          bAll ? L"In effect: not yet. The value was removed at " : L"In effect: no.", none },
        // The current user's value never has an effect: /status says so, and what would change the scope.
        { "StatusSaysWhyNothingChangesIt", { L"/status", L"/log", strLog }, disabled, ok, ok, ok, TRUE, TRUE, exitDone, disabled,
          bAll ? L"Other mappings: 1\nIn effect: not yet." : L"a current user's value is stored but has no effect.\n" + strWhyNoChange,
          none, RunCase::justNow, false, 1, L"0" },
        // The log's name is echoed twice, and an escape sequence in it must reach the console in neither.
        { "LogCannotBeOpened", { L"/disable", L"LWin", L"/log", L"C:\\no\x1b[2Jsuch\\log.txt" }, other, ok, ok, ok, TRUE, TRUE,
          exitLogFailed, other, L"Could not open the log C:\\no\xFFFD[2Jsuch\\log.txt: The log \"C:\\no\xFFFD[2Jsuch\\log.txt\" cannot",
          none },
        // The program's volatile key outweighs a clock set forward since its change; without it a
        // time ahead of now tells nothing, and never asks for restart after restart.
        { "NothingToChangeWhileTheRestartIsPending", { L"/disable", L"LWin" }, disabled, ok, ok, ok, TRUE, TRUE, exitRestartNeeded,
          disabled, L"and Windows has not restarted since (the clock, set forward since, puts its start at ", none,
          RunCase::beforeWindowsStarted, true },
        { "NothingToChangeStoredLaterThanNow", { L"/disable", L"LWin" }, disabled, ok, ok, ok, TRUE, TRUE, exitDone, disabled,
          L"In effect: unknown. Stored at 2286-", none, RunCase::in2286 },
        // A pending key restored from a backup or imported outlived its restart: it says nothing, and
        // the next write replaces it with a volatile one.
        { "NothingToChangeUnderAnOrdinaryPendingKey", { L"/disable", L"LWin" }, disabled, ok, ok, ok, TRUE, TRUE, exitDone, disabled,
          L"In effect: yes, since Windows started at ", none, RunCase::beforeWindowsStarted, false, 1, L"none", false, true },
        { "StoredOverAnOrdinaryPendingKey", { L"/disable", L"LWin" }, other, ok, ok, ok, TRUE, TRUE, exitRestartNeeded, disabled,
          L"Stored. ", none, RunCase::justNow, false, 1, L"none", false, true },
        { "StatusWithNoKey", { L"/status", L"/json" }, Bytes(), ok, ok, ok, TRUE, TRUE, exitDone, Bytes(),
          L"\"inEffect\":true,", none, RunCase::noKey },
    };
    for (const RunCase& tested : cases)
    {
        SCOPED_TRACE(tested.pszName);
        if (tested.lastWrite == RunCase::noKey)
            DeleteLayoutKey(GetParam());
        else if (tested.stored.empty())
            RemoveStoredLayout(GetParam());
        else
            StoreLayout(GetParam(), tested.stored);
        ForgetRestartPending();
        if (tested.bRestartPending)
            CLayoutEffect::MarkRestartPending(CRegistryApi::Real());
        if (tested.bOrdinaryPendingKey)
            MakeOrdinaryRestartPendingKey();
        ::DeleteFileW(strLog.c_str());
        SetPrivilegeEnabled(SE_SHUTDOWN_NAME, false);
        CCountingRegistry registry;
        if (tested.lastWrite == RunCase::beforeWindowsStarted)
            registry.m_lastWriteTime = FILETIME{ 0, 0x01000000 };  // in 1657
        if (tested.lastWrite == RunCase::in2286)
            registry.m_lastWriteTime = FILETIME{ 0, 0x03000000 };
        registry.m_lastWriteTimeResult = tested.lastWrite == RunCase::unreadable ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
        registry.m_setValueResult = tested.setValueResult;
        registry.m_deleteValueResult = tested.deleteValueResult;
        registry.m_queryValueResult = tested.queryValueResult;
        CFakeSessionControl session;
        session.m_bAccept = tested.bAcceptRestart;
        session.m_bInteractive = tested.bInteractive;
        session.m_dwSessionId = tested.dwSessionId;
        session.m_bSessionUser = !tested.bAnotherAccount;
        CCapturedOutput output;
        session.m_onRequest = [&] { output.m_strText += L"<asked; logged: " + LoggedExits(strLog) + L">\n"; };

        CMorvexCommandLineInfo info;
        Parse(info, tested.args);
        // An open log records the refusal; one that cannot be opened ends the run first.
        const bool bRefused = !bAll && !info.m_bStatus && tested.nExit != exitLogFailed;
        const int nExit = bRefused ? static_cast<int>(exitFailed) : tested.nExit;
        const Bytes& expected = bRefused ? tested.stored : tested.expected;
        EXPECT_EQ(nExit, CCommandLine::Run(info, registry, session, AllUsers(), output));

        EXPECT_EQ(expected.empty() ? std::nullopt : std::optional<Bytes>(expected), StoredLayout(GetParam()));
        EXPECT_EQ(std::nullopt, StoredLayout(GetParam() == Scope::AllUsers ? Scope::CurrentUser : Scope::AllUsers));
        EXPECT_NE(std::wstring::npos, output.m_strText.find(bRefused ? strRefused : tested.strOutput))
            << testing::PrintToString(output.m_strText);
        EXPECT_EQ(std::wstring::npos, output.m_strText.find(L'\x1b')) << testing::PrintToString(output.m_strText);
        if (tested.queryValueResult != ok)
        {
            EXPECT_EQ(std::wstring::npos, output.m_strText.find(L"Left Windows: ")) << "a key shown that could not be read";
        }
        // A refusal with /json ends with the object, which says it too.
        EXPECT_EQ((nExit == exitFailed || nExit == exitLogFailed) && !(bRefused && info.m_bJson),
                  output.m_lastKind == CCommandLineOutput::error);
        EXPECT_EQ(tested.strRequested.empty() || bRefused ? std::vector<std::wstring>{} : std::vector<std::wstring>{ tested.strRequested },
                  session.m_requests);
        EXPECT_EQ(output.m_strText.find(L"{\"ok\""), output.m_strText.rfind(L"{\"ok\"")) << "a second object";
        EXPECT_EQ(bRefused && std::wstring(tested.pszLogged) != L"none" ? L"1" : tested.pszLogged, LoggedExits(strLog));
        // Only a change of the all-users value waits for the restart, and its key goes with the restart.
        const bool bMarked = AllUsers() && tested.expected != tested.stored;
        EXPECT_EQ(tested.bRestartPending || tested.bOrdinaryPendingKey || bMarked, RestartPending());
        EXPECT_EQ(tested.bRestartPending || bMarked, RestartPendingIsVolatile());
        EXPECT_EQ(0, registry.m_nOpenHandles);
    }
    ::DeleteFileW(strLog.c_str());
}

// ---- The console program without arguments --------------------------------------------------------

// Answers the start as told: Wine starts whatever it is given, and never asks for elevation.
class CFakeDialogLauncher : public CDialogLauncher
{
public:
    CString OwnFolder() override { return m_strFolder; }
    DWORD Open(LPCWSTR pszPath) override
    {
        m_opened.push_back(pszPath);
        return m_dwResult;
    }

    CString m_strFolder = L"C:\\Program Files\\Morvex";
    DWORD m_dwResult = ERROR_SUCCESS;
    std::vector<std::wstring> m_opened;
};

struct StartCase
{
    const char* pszName;
    DWORD dwResult;
    bool bFolderKnown;
    int nExit;
    std::wstring strOutput;  // empty: says nothing
};

TEST(DialogStartTest, OpensTheDialogProgramFromItsOwnFolderAndEndsWithTheRefusalsCode)
{
    const std::wstring strPath = L"C:\\Program Files\\Morvex\\MorvexDisabler.exe";
    const StartCase cases[] = {
        { "Started", ERROR_SUCCESS, true, 0, L"" },
        { "Missing", ERROR_FILE_NOT_FOUND, true, 1, L"The dialog program " + strPath + L" is missing" },
        { "ElevationDeclined", ERROR_CANCELLED, true, 1223,
          L"Could not start " + strPath + L": " + SystemErrorText(ERROR_CANCELLED).GetString() + L"\n" },
        { "Refused", ERROR_ACCESS_DENIED, true, 5, L"Could not start " + strPath + L": " + SystemErrorText(ERROR_ACCESS_DENIED).GetString() },
        { "OwnFolderUnknown", ERROR_SUCCESS, false, 1, L"Could not find this program's own folder" },
    };
    for (const StartCase& tested : cases)
    {
        SCOPED_TRACE(tested.pszName);
        CFakeDialogLauncher launcher;
        launcher.m_dwResult = tested.dwResult;
        if (!tested.bFolderKnown)
            launcher.m_strFolder = L"";
        CCapturedOutput output;
        EXPECT_EQ(tested.nExit, StartDialogProgram(launcher, output));
        EXPECT_EQ(tested.bFolderKnown ? std::vector<std::wstring>{ strPath } : std::vector<std::wstring>{}, launcher.m_opened);
        if (tested.strOutput.empty())
        {
            EXPECT_EQ(L"", output.m_strText);
        }
        else
        {
            EXPECT_NE(std::wstring::npos, output.m_strText.find(tested.strOutput)) << testing::PrintToString(output.m_strText);
            EXPECT_EQ(CCommandLineOutput::error, output.m_lastKind);
        }
    }
}

}  // namespace
