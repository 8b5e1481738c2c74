// The programs started with arguments, as a deployment tool or a prompt starts them: the exit code,
// what they printed on the handles or the console they were given, and what the registry holds
// afterwards; and the console program started without arguments.
#include "ProgramTest.h"
#include "RegistryFixture.h"

#include <fstream>
#include <iterator>

namespace
{
// Scan codes as stored: prefix in the high byte.
const WORD kLeftWindows = 0xE05B, kRightWindows = 0xE05C, kCapsLock = 0x003A, kLeftCtrl = 0x001D;
const WORD kRightCtrl = 0xE01D, kRightAlt = 0xE038;

// Bytes after the terminator that the program never writes: a value that still has them was not
// written, not even with the same mappings.
Bytes Untouchable(Bytes value)
{
    value.insert(value.end(), { 0xDE, 0xAD, 0xBE, 0xEF });
    return value;
}

// DOMAIN\name of the account this test runs as, which the programs it starts run as too.
std::wstring AccountName()
{
    WCHAR szUser[256], szDomain[256];
    DWORD cchUser = 256, cchDomain = 256;
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD cbSid = sizeof(sid);
    SID_NAME_USE use;
    if (!::GetUserNameW(szUser, &cchUser) || !::LookupAccountNameW(nullptr, szUser, sid, &cbSid, szDomain, &cchDomain, &use))
        return L"?";
    return std::wstring(szDomain) + L"\\" + szUser;
}

Scope Other(Scope scope)
{
    return scope == Scope::AllUsers ? Scope::CurrentUser : Scope::AllUsers;
}

// What stands in the way of a run.
enum class Obstacle
{
    none,
    writesDenied,  // the key's permissions let it be read only
    readsDenied,   // the key's permissions let it be written only
    lockHeld,      // another copy is in the middle of its edit
    lockSquatted,  // a user made the copies' mutex first, and holds it
    nameTaken,     // a user made an object of another kind of the copies' mutex's name
    lockDenied,    // the administrators' mutex, which no copy made: copies let every administrator use theirs
    lockUnreadable,  // another user's mutex, which lets this account not even read its owner
    logTurnHeld,   // someone holds the turn at the log that runs take, and keeps it
};

// The program a row runs: the console program takes the rows of what a prompt or a script sees,
// the windowed one keeps the rest; no row runs twice.
enum class Face
{
    windowed,
    console,
};

std::wstring PathOf(Face face)
{
    return face == Face::console ? ConsoleProgramPath() : ProgramPath();
}

struct CommandLineCase
{
    const char* pszName;
    std::vector<std::wstring> args;
    Scope scope;             // the program's setting
    Bytes stored;            // before; empty: no value
    DWORD dwExit;
    Bytes expected;          // after; empty: no value
    std::wstring strOutput;  // a part of what it printed
    DWORD dwStoredType = REG_BINARY;
    Obstacle obstacle = Obstacle::none;
    bool bOutputOnly = false;  // given a standard output and no standard error
    Face face = Face::windowed;
};

class CommandLineTest : public StoredLayoutTest
{
};

TEST_F(CommandLineTest, ExitsWithTheInstallersCodesAndKeepsOtherToolsMappings)
{
    const Scope all = Scope::AllUsers, user = Scope::CurrentUser;
    const Bytes other = Untouchable(ScancodeMapValue({ { kLeftCtrl, kRightAlt } }));
    const Bytes twoDisabled = ScancodeMapValue({ { kLeftCtrl, kRightAlt }, { 0, kLeftWindows }, { 0, kCapsLock } });
    const Bytes text = TextValue(L"00000000");
    // As long as Windows lets a command line be: 32,767 characters with the terminator.
    const std::wstring strLongest = L"/" + std::wstring(32766 - QuoteArgument(ProgramPath()).size() - 2, L'x');
    const std::wstring strUsage = L"\r\n\r\nUsage: MorvexDisabler [/disable KEYS]";
    const std::wstring strMachineKey = L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Keyboard Layout";
    const std::wstring strDenied = SystemMessage(ERROR_ACCESS_DENIED);
    const Bytes capsToCtrl = ScancodeMapValue({ { kLeftCtrl, kCapsLock }, { 0, kLeftWindows } });
    WCHAR szTemp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, szTemp);
    const std::wstring strLog = std::wstring(szTemp) + L"morvex-turn-held.log";
    const std::wstring strSquatted = L"Could not take turns at the keyboard layout: The name Global\\MorvexDisabler.KeyboardLayout is "
                                     L"held by an object that BUILTIN\\Users made, not SYSTEM or an administrator.\r\n"
                                     L"Nothing was changed.\r\n";
    const std::wstring strUnidentified = L"Could not take turns at the keyboard layout: The name Global\\MorvexDisabler.KeyboardLayout "
                                         L"is held by an object of an account that cannot be identified, which no copy of this program "
                                         L"may use.\r\nNothing was changed.\r\n";
    // A prompt that is not elevated gets this far: reading needs no administrator, writing does.
    const std::wstring strElevate = L"Changing the layout of all users needs administrator rights: run the command from an "
                                    L"elevated prompt (Run as administrator).\r\n";

    // Where the scope comes from, and the one command that leaves it, as an administrator types it.
    const std::wstring strSetting =
        L"The scope comes from the setting m_bApplyChangesForAllUsers = 0 in HKCU\\Software\\MorvexSoft\\Morvex Disabler by "
        L"MorvexSoft\\Settings of the account " + AccountName() + L". For all users, delete it as that account (or set it to 1):\r\n"
        L"reg delete \"HKCU\\Software\\MorvexSoft\\Morvex Disabler by MorvexSoft\\Settings\" /v m_bApplyChangesForAllUsers /f";
    const std::wstring strUserScope = L"The command line changes no current user's layout: Windows 7 and later never apply it, so no "
                                      L"restart or log-off would bring the change into effect. Nothing was changed.\r\n" + strSetting;
    const std::wstring strNoEffect = L"In effect: no. Windows 7 and later apply only the all-users value: a current user's value is "
                                     L"stored but has no effect.\r\n";

    const CommandLineCase cases[] = {
        { "Status", { L"/status" }, all, Untouchable(ScancodeMapValue({ { kLeftCtrl, kRightAlt }, { 0, kLeftWindows } })), 0,
          Untouchable(ScancodeMapValue({ { kLeftCtrl, kRightAlt }, { 0, kLeftWindows } })),
          L"Left Windows: disabled\r\nRight Windows: enabled\r\nCaps Lock: enabled\r\nLeft Ctrl: enabled\r\nRight Alt: remapped to Left Ctrl\r\n"
          L"Scope: all users (HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Keyboard Layout)\r\nOther mappings: 0\r\n",
          REG_BINARY, Obstacle::none, false, Face::console },
        { "StatusOfAValueThatIsNotBinary", { L"-STATUS", L"-quiet" }, user, text, 0, text,
          L"Scope: current user (HKEY_CURRENT_USER\\Keyboard Layout)\r\nOther mappings: 0\r\n"
          L"The stored Scancode Map value is not binary: Windows ignores it, so it switches no key off.\r\n",
          REG_SZ },
        { "Disable", { L"/disable", L"LWin,capslock" }, all, other, 3010, twoDisabled,
          L"Caps Lock: disabled\r\nLeft Ctrl: enabled\r\nRight Alt: remapped to Left Ctrl\r\nScope: all users", REG_BINARY, Obstacle::none, false, Face::console },
        { "DisableOverANonBinaryValue", { L"/disable", L"LWin,CapsLock" }, all, text, 3010,
          ScancodeMapValue({ { 0, kLeftWindows }, { 0, kCapsLock } }), L"\r\nOther mappings: 0\r\nStored. Restart the computer for the changes to be in effect.\r\n", REG_SZ },
        // Stored a moment ago, after Windows started: what the run asks for still waits for a restart.
        { "SecondIdenticalRunWritesNothing", { L"/disable", L"CapsLock,LWin", L"/restart" }, all, Untouchable(twoDisabled), 3010,
          Untouchable(twoDisabled),
          L": restart the computer.\r\nNothing to change, but what is stored takes effect only when the computer restarts.\r\n" },
        { "EnableKeepsOthersByteForByteInOrder", { L"-ENABLE", L"all" }, all,
          ScancodeMapValue({ { 0, kRightCtrl }, { 0, kLeftWindows }, { kLeftCtrl, kRightAlt }, { 0, kCapsLock } }), 3010,
          ScancodeMapValue({ { 0, kRightCtrl }, { kLeftCtrl, kRightAlt } }),
          L"Right Ctrl: disabled\r\nRight Alt: remapped to Left Ctrl\r\nScope: all users (" + strMachineKey + L")\r\nOther mappings: 0\r\n" },
        { "EnableTheLastKeyDeletesTheValue", { L"/quiet", L"/enable", L"LWin" }, all, ScancodeMapValue({ { 0, kLeftWindows } }), 3010,
          Bytes(), L"Left Windows: enabled\r\n" },
        // Windows 7 and later never apply the current user's value: a change there is refused, and
        // no exit code or log-off asks for a restart that would bring nothing into effect.
        { "DisableInTheUsersScope", { L"/disable", L"LWin" }, user, other, 1, other, strUserScope, REG_BINARY, Obstacle::none,
          false, Face::console },
        { "RestartInTheUsersScope", { L"/disable", L"RWin", L"/restart" }, user, Bytes(), 1, Bytes(), strUserScope },
        { "BothListsInTheUsersScope", { L"/enable", L"LWin", L"/disable", L"RWin,LCtrl" }, user,
          ScancodeMapValue({ { 0, kLeftWindows } }), 1, ScancodeMapValue({ { 0, kLeftWindows } }), strUserScope },
        { "StatusInTheUsersScopeSaysWhy", { L"/status" }, user, ScancodeMapValue({ { 0, kLeftWindows } }), 0,
          ScancodeMapValue({ { 0, kLeftWindows } }),
          strNoEffect + L"The command line changes nothing in this scope. " + strSetting + L"\r\n",
          REG_BINARY, Obstacle::none, false, Face::console },
        // Another tool's remap is no key switched off.
        { "StatusOfRemaps", { L"/status" }, all, ScancodeMapValue({ { kLeftCtrl, kCapsLock }, { kRightAlt, kLeftWindows } }), 0,
          ScancodeMapValue({ { kLeftCtrl, kCapsLock }, { kRightAlt, kLeftWindows } }),
          L"Left Windows: remapped to Right Alt\r\nRight Windows: enabled\r\nCaps Lock: remapped to Left Ctrl\r\n" },
        { "EnableLeavesARemap", { L"/enable", L"All" }, all, capsToCtrl, 3010, ScancodeMapValue({ { kLeftCtrl, kCapsLock } }),
          L"Caps Lock: remapped to Left Ctrl\r\nLeft Ctrl: enabled\r\nScope: all users (" + strMachineKey +
              L")\r\nOther mappings: 0\r\nCaps Lock is remapped to Left Ctrl by another mapping, which is not this program's: left as "
              L"it is.\r\nStored." },
        { "DisableReplacesARemap", { L"/disable", L"CapsLock" }, all, capsToCtrl, 3010,
          ScancodeMapValue({ { 0, kCapsLock }, { 0, kLeftWindows } }),
          L"Caps Lock was remapped to Left Ctrl by another mapping: now it is switched off.\r\nStored." },
        { "KeyCannotBeOpenedForWriting", { L"/disable", L"LWin" }, all, other, 5, other,
          L"Could not open " + strMachineKey + L" for writing: " + strDenied + L"\r\nNothing was changed.\r\n" + strElevate, REG_BINARY,
          Obstacle::writesDenied, false, Face::console },
        // Not read is not "nothing stored": a write after it would drop the other tool's mapping.
        { "ValueCannotBeRead", { L"/disable", L"LWin" }, all, other, 5, other,
          L"Could not read the value \"Scancode Map\" of " + strMachineKey + L": " + strDenied + L"\r\nNothing was changed.\r\n" +
              strElevate,
          REG_BINARY, Obstacle::readsDenied },
        { "StatusOfAValueThatCannotBeRead", { L"/status" }, user, other, 5, other,
          L"Could not read the value \"Scancode Map\" of HKEY_CURRENT_USER\\Keyboard Layout: " + strDenied + L"\r\n", REG_BINARY,
          Obstacle::readsDenied },
        { "AnotherCopyKeepsTheLayout", { L"/enable", L"All" }, all, twoDisabled, 1618, twoDisabled,
          L"Another copy of the program kept the keyboard layout for more than 10 seconds.\r\nNothing was changed.\r\n", REG_BINARY,
          Obstacle::lockHeld, false, Face::console },
        // Neither 1618 nor a word of another copy: a user's object is no copy's turn.
        { "AUserHoldsTheLayoutsMutex", { L"/enable", L"All" }, all, twoDisabled, 1, twoDisabled, strSquatted, REG_BINARY,
          Obstacle::lockSquatted },
        { "AUsersEventHoldsTheName", { L"/enable", L"All" }, all, twoDisabled, 1, twoDisabled, strSquatted, REG_BINARY,
          Obstacle::nameTaken },
        // Denied by the name while elevated: no copy's turn, and no advice to elevate. (A prompt that
        // is not elevated may neither make the copies' mutex nor open one, which is denied access, as
        // for the key; Wine runs every program elevated.)
        { "TheTurnDeniesAnAdministrator", { L"/disable", L"LWin" }, all, other, 1, other,
          L"Could not take turns at the keyboard layout: The name Global\\MorvexDisabler.KeyboardLayout is held by an object that "
          L"BUILTIN\\Administrators made, which no copy of this program may use.\r\nNothing was changed.\r\n",
          REG_BINARY, Obstacle::lockDenied, false, Face::console },
        { "TheTurnsOwnerCannotBeRead", { L"/disable", L"LWin" }, all, other, 1, other, strUnidentified, REG_BINARY,
          Obstacle::lockUnreadable },
        // One user's layout is never the command line's to change: refused before any turn is taken,
        // so a squatted all-users turn does not come into it.
        { "TheUsersScopeRefusedBeforeAnyTurn", { L"/disable", L"LWin" }, user, other, 1, other,
          L"The command line changes no current user's layout", REG_BINARY, Obstacle::lockUnreadable, false, Face::console },
        // The turn kept by whoever may open the log: the run ends soon, as it would without a log.
        { "LogTurnKept", { L"/disable", L"LWin", L"/log", strLog }, all, other, 3010,
          ScancodeMapValue({ { kLeftCtrl, kRightAlt }, { 0, kLeftWindows } }),
          L"Stored. Restart the computer for the changes to be in effect.\r\nThe line was appended to the log \"" + strLog +
              L"\" without its turn: another process kept the turn for more than 2 seconds.\r\n",
          REG_BINARY, Obstacle::logTurnHeld },
        // A script parses the standard output: no error text joins the object there.
        { "JsonErrorWithNoStandardError", { L"/status", L"/json", L"/bogus" }, all, other, 87, other,
          L"{\"ok\":false,\"exitCode\":87,", REG_BINARY, Obstacle::none, true, Face::console },
        { "Usage", { L"/?" }, all, other, 0, other, L"  /status        show which keys are switched off", REG_BINARY, Obstacle::none,
          false, Face::console },
        // Bad input: the usage text, nothing written.
        { "UnknownSwitch", { L"/disable", L"LWin", L"/force" }, all, other, 87, other, L"Unknown switch \"/force\"." + strUsage },
        { "MissingKeys", { L"/disable" }, all, other, 87, other, L"/disable needs a list of keys: LWin, RWin, CapsLock, LCtrl or All." + strUsage },
        { "EmptyKeys", { L"/enable", L"" }, all, other, 87, other, L"/enable needs a list of keys: LWin, RWin, CapsLock, LCtrl or All." + strUsage },
        { "UnknownKey", { L"/disable", L"LWin,Esc" }, all, other, 87, other, L"Unknown key \"Esc\": the keys are LWin, RWin, CapsLock, LCtrl and All, and the others that /? and README.txt list." + strUsage },
        // Capital I with a dot, which a best fit would show as the I of a key that exists.
        { "UnknownKeyTheCodePageCannotShow", { L"/disable", L"LW\u0130n" }, all, other, 87, other,
          L"Unknown key \"LW?n\": the keys are", REG_BINARY, Obstacle::none, false, Face::console },
        { "KeyInBothLists", { L"/disable", L"All", L"/enable", L"CapsLock" }, all, other, 87, other,
          L"Named in both /disable and /enable: CapsLock." + strUsage },
        { "RepeatedSwitch", { L"/disable", L"LWin", L"-Disable", L"RWin" }, all, other, 87, other, L"The switch /disable is given twice." + strUsage },
        { "StrayArgument", { L"/disable", L"LWin", L"RWin" }, all, other, 87, other,
          L"Unexpected argument \"RWin\" after the list of /disable: separate the keys with commas, and quote a list that holds "
          L"spaces, as in /disable \"LWin RWin\"." + strUsage },
        { "UnquotedListWithASpace", { L"/disable", L"LWin,", L"RWin" }, all, other, 87, other,
          L"Unexpected argument \"RWin\" after the list of /disable: separate the keys with commas, and quote a list that holds "
          L"spaces, as in /disable \"LWin, RWin\"." + strUsage },
        { "UsageBesideAChange", { L"/disable", L"RWin", L"/?" }, all, other, 87, other, L"/? goes alone" },
        { "DscInTheWindowedProgram", { L"/dsc", L"get" }, all, other, 87, other,
          L"/dsc is the console program's: DSC runs MorvexDisabler.com, as the resource's manifest says." + strUsage },
        { "LongestCommandLine", { strLongest }, all, other, 87, other, L"Unknown switch \"/xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx...\"." + strUsage },
    };
    for (const CommandLineCase& tested : cases)
    {
        SCOPED_TRACE(tested.pszName);
        StoreScopeSetting(tested.scope == Scope::AllUsers ? 1 : 0);
        RemoveStoredLayout(Other(tested.scope));
        if (tested.stored.empty())
            RemoveStoredLayout(tested.scope);
        else
            StoreLayout(tested.scope, tested.stored, tested.dwStoredType);
        std::optional<CDenyLayoutAccess> deny;
        if (tested.obstacle == Obstacle::writesDenied || tested.obstacle == Obstacle::readsDenied)
            deny.emplace(tested.scope, tested.obstacle == Obstacle::writesDenied ? CDenyLayoutAccess::writes : CDenyLayoutAccess::reads);
        std::optional<CHoldLayoutLock> lock;
        if (tested.obstacle == Obstacle::lockHeld)
            lock.emplace(CHoldLayoutLock::copy);
        else if (tested.obstacle == Obstacle::lockSquatted)
            lock.emplace(CHoldLayoutLock::usersMutex);
        else if (tested.obstacle == Obstacle::nameTaken)
            lock.emplace(CHoldLayoutLock::usersEvent);
        else if (tested.obstacle == Obstacle::lockDenied)
            lock.emplace(CHoldLayoutLock::systemOnly);
        else if (tested.obstacle == Obstacle::lockUnreadable)
            lock.emplace(CHoldLayoutLock::unreadable);

        // The byte the program takes its turn at, held from a handle of the test's own.
        const CScopedHandle<HANDLE, ::CloseHandle> log(
            tested.obstacle == Obstacle::logTurnHeld
                ? ::CreateFileW(strLog.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, CREATE_ALWAYS, 0, nullptr)
                : nullptr);
        OVERLAPPED turn = {};
        turn.Offset = 0xFFFFFFFE;
        turn.OffsetHigh = 0x7FFFFFFF;
        ASSERT_TRUE(!log || ::LockFileEx(log.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &turn));

        const RunResult result = RunCaptured(PathOf(tested.face), tested.args, log ? 5000 : 30000, !tested.bOutputOnly);
        deny.reset();
        lock.reset();
        if (log)
        {
            char szLine[512] = {};
            DWORD cbRead = 0;
            EXPECT_TRUE(::ReadFile(log.Get(), szLine, sizeof(szLine) - 1, &cbRead, nullptr));
            EXPECT_NE(nullptr, strstr(szLine, "\texit=3010\r\n")) << szLine;
            ::DeleteFileW(strLog.c_str());
        }

        EXPECT_EQ(tested.dwExit, result.dwExitCode);
        EXPECT_NE(std::wstring::npos, result.strOutput.find(tested.strOutput)) << testing::PrintToString(result.strOutput);
        if (tested.bOutputOnly)
        {
            EXPECT_EQ(0u, result.strOutput.find(L'{'));
            EXPECT_EQ(result.strOutput.size() - 2, result.strOutput.find(L"\r\n")) << "more than one line";
        }
        DWORD dwType = REG_NONE;
        EXPECT_EQ(tested.expected.empty() ? std::nullopt : std::optional<Bytes>(tested.expected), StoredLayout(tested.scope, &dwType));
        if (!tested.expected.empty())
        {
            EXPECT_EQ(tested.expected == tested.stored ? tested.dwStoredType : REG_BINARY, dwType);
        }
        EXPECT_EQ(std::nullopt, StoredLayout(Other(tested.scope)));
    }
}

enum class Station
{
    visible,  // the test's own, where a user would see a box
    hidden,   // one nobody sees, as a deployment agent's
};

struct UnreadCase
{
    const char* pszName;
    Station station;
    std::vector<std::wstring> args;
    DWORD dwExit;
    const wchar_t* pszBox;     // the start of the box's text; null: no box
    bool bNulOutput = false;   // its output and errors go to NUL, as with `>nul 2>&1`
    Face face = Face::windowed;
};

// Started by a program without a console and without redirecting anything, only a box can tell;
// but a box nobody can see would hold a deployment agent until its time-out. The console program
// shows none anywhere: what starts it waits for it and reads its handles, or has chosen not to.
TEST_F(CommandLineTest, AnErrorOrTheUsageShowsABoxOnlyWhereSomeoneSeesItAndNoOutputWasGiven)
{
    // This test's own output goes to the file its runner gave it, not to a console.
    ::FreeConsole();
    const CHiddenStation unseen;
    ASSERT_FALSE(unseen.Desktop().empty()) << "no window station of the test's own: error " << ::GetLastError();
    const Station visible = Station::visible, hidden = Station::hidden;
    const UnreadCase cases[] = {
        { "Error", visible, { L"/bogus" }, 87, L"Unknown switch \"/bogus\".\n\nUsage:" },
        { "ErrorQuiet", visible, { L"/bogus", L"/quiet" }, 87, nullptr },
        { "Usage", visible, { L"/?" }, 0, L"Usage:" },
        { "Stored", visible, { L"/disable", L"LWin" }, 3010, nullptr },
        { "ErrorToNul", visible, { L"/bogus" }, 87, nullptr, true },
        { "ErrorOnAHiddenStation", hidden, { L"/bogus" }, 87, nullptr },
        { "UsageOnAHiddenStation", hidden, { L"/?" }, 0, nullptr },
        { "StoredOnAHiddenStation", hidden, { L"/disable", L"LWin" }, 3010, nullptr },
        { "ConsoleProgramError", visible, { L"/bogus" }, 87, nullptr, false, Face::console },
        { "ConsoleProgramUsage", visible, { L"/?" }, 0, nullptr, false, Face::console },
        { "ConsoleProgramStored", visible, { L"/disable", L"LWin" }, 3010, nullptr, false, Face::console },
        { "ConsoleProgramErrorToNul", visible, { L"/bogus" }, 87, nullptr, true, Face::console },
        { "ConsoleProgramErrorOnAHiddenStation", hidden, { L"/bogus" }, 87, nullptr, false, Face::console },
    };
    SECURITY_ATTRIBUTES inherited = { sizeof(inherited), nullptr, TRUE };
    for (const UnreadCase& tested : cases)
    {
        SCOPED_TRACE(tested.pszName);
        RemoveStoredLayout(Scope::AllUsers);
        const CScopedHandle<HANDLE, ::CloseHandle> nul(
            tested.bNulOutput ? ::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, OPEN_EXISTING, 0, nullptr)
                              : nullptr);
        ASSERT_EQ(tested.bNulOutput, static_cast<bool>(nul));
        CProgram program;
        ASSERT_EQ(L"", program.Start(PathOf(tested.face), tested.args, DETACHED_PROCESS, tested.station == hidden ? &unseen : nullptr,
                                     nul.Get()));
        if (tested.pszBox != nullptr)
        {
            const BoxView box = ReadBox(program.WaitForOwnedDialog(nullptr, 10000));
            ASSERT_TRUE(box) << "no box";
            EXPECT_EQ(g_szMainCaption, box.strCaption);
            EXPECT_EQ(0u, box.strText.find(tested.pszBox)) << testing::PrintToString(box.strText);
            EXPECT_EQ(std::vector<std::wstring>{ L"OK" }, box.buttons);
            ClickButton(box.hWnd, L"OK");
        }
        // A box, seen or not, holds the program until someone answers it.
        if (!program.WaitForExit(5000))
        {
            // A box on the hidden station cannot be read from here.
            const BoxView box = ReadBox(program.WaitForOwnedDialog(nullptr, 0));
            ADD_FAILURE() << "still running after 5 s" << (box ? ", showing " + testing::PrintToString(box.strText) : std::string());
            continue;
        }
        DWORD dwExit = 0;
        ::GetExitCodeProcess(program.Handle(), &dwExit);
        EXPECT_EQ(tested.dwExit, dwExit);
    }
}

// A folder of the test's own with a copy of the console program and, when asked for, a stand-in for
// the dialog program beside it, which notes each of its starts in started.log there.
class CConsoleStage
{
public:
    CConsoleStage(const wchar_t* pszName, bool bWithDialogProgram) : m_strFolder(OwnFolder() + L"\\" + pszName)
    {
        Remove();
        m_bReady = ::CreateDirectoryW(m_strFolder.c_str(), nullptr) &&
                   ::CopyFileW(ConsoleProgramPath().c_str(), Path(L"MorvexDisabler.com").c_str(), FALSE) &&
                   (!bWithDialogProgram ||
                    ::CopyFileW((OwnFolder() + L"\\e2e_browser.exe").c_str(), Path(L"MorvexDisabler.exe").c_str(), FALSE));
    }
    ~CConsoleStage() { Remove(); }
    CConsoleStage(const CConsoleStage&) = delete;
    CConsoleStage& operator=(const CConsoleStage&) = delete;

    bool Ready() const { return m_bReady; }
    std::wstring Folder() const { return m_strFolder; }
    std::wstring Path(const wchar_t* pszName) const { return m_strFolder + L"\\" + pszName; }
    // The stand-in's lines: "-", the show command it was given, and the file name of its starter.
    std::string Starts() const
    {
        std::ifstream log(Path(L"started.log").c_str(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>());
    }
    // A batch file here, run by cmd as a prompt runs what is typed at it.
    RunResult RunBatch(const std::string& strLines) const
    {
        std::ofstream(Path(L"typed.cmd").c_str(), std::ios::binary) << "@echo off\r\n" << strLines;
        WCHAR szSystem[MAX_PATH] = {};
        ::GetSystemDirectoryW(szSystem, MAX_PATH);
        return RunCaptured(std::wstring(szSystem) + L"\\cmd.exe", { L"/c", Path(L"typed.cmd") });
    }

private:
    void Remove()
    {
        for (const wchar_t* pszName : { L"MorvexDisabler.com", L"MorvexDisabler.exe", L"started.log", L"typed.cmd" })
            ::DeleteFileW(Path(pszName).c_str());
        ::RemoveDirectoryW(m_strFolder.c_str());
    }

    std::wstring m_strFolder;
    bool m_bReady = false;
};

std::string Narrow(const std::wstring& strText)
{
    return std::string(strText.begin(), strText.end());
}

// cmd looks for .COM before .EXE (PATHEXT), so the name typed at a prompt runs the console program,
// and waits for it: %ERRORLEVEL% holds its exit code. Without arguments it starts the dialog program
// from its own folder, never from the current one, and does not wait for it.
TEST_F(CommandLineTest, APromptRunsTheConsoleProgramWhichStartsTheDialogProgramBesideItWithoutArguments)
{
    const CConsoleStage stage(L"console-stage", true), alone(L"console-alone", false);
    ASSERT_TRUE(stage.Ready() && alone.Ready()) << "error " << ::GetLastError();

    const RunResult typed = stage.RunBatch("cd /d \"" + Narrow(stage.Folder()) + "\"\r\n"
                                           "MorvexDisabler /status\r\n"
                                           "echo status ended with %ERRORLEVEL%\r\n"
                                           "MorvexDisabler /disable LWin\r\n"
                                           "echo disable ended with %ERRORLEVEL%\r\n");
    EXPECT_NE(std::wstring::npos, typed.strOutput.find(L"Left Windows: enabled\r\n")) << testing::PrintToString(typed.strOutput);
    EXPECT_NE(std::wstring::npos, typed.strOutput.find(L"\r\nstatus ended with 0\r\n")) << testing::PrintToString(typed.strOutput);
    EXPECT_NE(std::wstring::npos,
              typed.strOutput.find(L"Stored. Restart the computer for the changes to be in effect.\r\ndisable ended with 3010\r\n"))
        << testing::PrintToString(typed.strOutput);
    EXPECT_EQ(ScancodeMapValue({ { 0, kLeftWindows } }), StoredLayout(Scope::AllUsers));
    EXPECT_EQ("", stage.Starts()) << "the prompt ran the dialog program";

    const RunResult started = RunCaptured(stage.Path(L"MorvexDisabler.com"), {});
    EXPECT_EQ(0u, started.dwExitCode);
    EXPECT_EQ(L"", started.strOutput);
    // Shown as a double-click shows it. Its starter has ended by the time it looks, as a rule: it is
    // not waited for.
    EXPECT_TRUE(WaitUntil([&] { return !stage.Starts().empty(); }));
    const std::string strStart = stage.Starts();
    EXPECT_EQ(0u, strStart.find("-\t1\t")) << strStart;

    // In a folder of its own, run from one that has a MorvexDisabler.exe.
    const RunResult missing = stage.RunBatch("cd /d \"" + Narrow(stage.Folder()) + "\"\r\n\"" + Narrow(alone.Path(L"MorvexDisabler.com")) +
                                             "\"\r\necho ended with %ERRORLEVEL%\r\n");
    EXPECT_NE(std::wstring::npos, missing.strOutput.find(L"The dialog program " + alone.Path(L"MorvexDisabler.exe") + L" is missing"))
        << testing::PrintToString(missing.strOutput);
    EXPECT_NE(std::wstring::npos, missing.strOutput.find(L"\r\nended with 1\r\n")) << testing::PrintToString(missing.strOutput);
    ::Sleep(500);
    EXPECT_EQ(strStart, stage.Starts()) << "the program in the current folder was started";
}

// What a console shows, a line a row, without the spaces that fill each row.
std::wstring ScreenText(HANDLE hScreen)
{
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    if (!::GetConsoleScreenBufferInfo(hScreen, &info))
        return L"no screen: error " + std::to_wstring(::GetLastError());
    const DWORD cchRow = static_cast<DWORD>(info.dwSize.X);
    std::wstring strScreen;
    for (SHORT nRow = 0; nRow <= info.dwCursorPosition.Y; ++nRow)
    {
        std::wstring strRow(cchRow, L' ');
        DWORD cchRead = 0;
        ::ReadConsoleOutputCharacterW(hScreen, strRow.data(), cchRow, COORD{ 0, nRow }, &cchRead);
        strRow.erase(strRow.find_last_not_of(L' ') + 1);
        strScreen += strRow + L"\n";
    }
    return strScreen;
}

struct ConsoleCase
{
    const char* pszName;
    std::vector<std::wstring> args;
    DWORD dwExit;
    std::wstring strShown;  // a part of what the console shows afterwards
};

// Typed at a prompt, the console program writes on the prompt's console, in UTF-16: a name the code
// page cannot hold shows as it was typed, where a file or pipe gets a '?'.
TEST_F(CommandLineTest, TheConsoleProgramWritesOnTheConsoleItWasStartedFrom)
{
    ::FreeConsole();
    ASSERT_TRUE(::AllocConsole()) << "no console: error " << ::GetLastError();
    SECURITY_ATTRIBUTES inherited = { sizeof(inherited), nullptr, TRUE };
    const CScopedHandle<HANDLE, ::CloseHandle> screen(::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                                                    FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(screen) << "error " << ::GetLastError();
    const ConsoleCase cases[] = {
        { "Status", { L"/status" }, 0,
          L"Left Windows: enabled\nRight Windows: enabled\nCaps Lock: enabled\nLeft Ctrl: enabled\nScope: all users" },
        { "Json", { L"/status", L"/json" }, 0, L"{\"ok\":true,\"exitCode\":0,\"scope\":\"allUsers\"," },
        { "BadArgumentsQuiet", { L"/disable", L"LW\u0130n", L"/quiet" }, 87,
          // The console's 80 columns break the line.
          L"Unknown key \"LW\u0130n\": the keys are LWin, RWin, CapsLock, LCtrl and All, and the ot\nhers that /? and README.txt "
          L"list.\n\nUsage: MorvexDisabler" },
    };
    for (const ConsoleCase& tested : cases)
    {
        SCOPED_TRACE(tested.pszName);
        RemoveStoredLayout(Scope::AllUsers);
        DWORD cchWritten = 0;
        ::FillConsoleOutputCharacterW(screen.Get(), L' ', 0x7FFF, COORD{ 0, 0 }, &cchWritten);
        ::SetConsoleCursorPosition(screen.Get(), COORD{ 0, 0 });
        CProgram program;
        ASSERT_EQ(L"", program.Start(ConsoleProgramPath(), tested.args, 0, nullptr, screen.Get()));
        ASSERT_TRUE(program.WaitForExit(10000));
        DWORD dwExit = 0;
        ::GetExitCodeProcess(program.Handle(), &dwExit);
        EXPECT_EQ(tested.dwExit, dwExit);
        const std::wstring strScreen = ScreenText(screen.Get());
        EXPECT_NE(std::wstring::npos, strScreen.find(tested.strShown)) << testing::PrintToString(strScreen);
    }
    ::FreeConsole();
}
}  // namespace
