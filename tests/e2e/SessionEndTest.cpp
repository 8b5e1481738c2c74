// Answering Yes, or /restart on the command line: the program asks the system to restart or log
// off. A log-off under Wine ends every windowed program of the prefix; a restart is asked through
// InitiateSystemShutdownEx, which Wine 8 accepts and carries out no further, so there only the
// program's side of it shows. Runs only in a prefix of its own (MORVEX_WINEPREFIX).
#include "ProgramTest.h"

#include <tlhelp32.h>

namespace
{
struct Scope
{
    const char* pszName;
    DWORD dwSetting;            // the program's stored scope setting
    const WCHAR* pszLayoutKey;  // where the layout is stored
    const WCHAR* pszQuestion;
    bool bWineEndsTheSession;
};

void PrintTo(const Scope& scope, std::ostream* pStream)
{
    *pStream << scope.pszName;
}

// Wine ends a session through wineboot.exe, which goes on ending programs after the one that asked
// has gone; the next test of the prefix must not start before it is done.
bool SessionStillEnding()
{
    HANDLE hSnapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = { sizeof(entry) };
    bool bEnding = false;
    for (BOOL bMore = ::Process32FirstW(hSnapshot, &entry); bMore && !bEnding; bMore = ::Process32NextW(hSnapshot, &entry))
        bEnding = _wcsicmp(entry.szExeFile, L"wineboot.exe") == 0;
    ::CloseHandle(hSnapshot);
    return bEnding;
}

bool InOwnPrefix()
{
    return ::GetEnvironmentVariableW(L"MORVEX_WINEPREFIX", nullptr, 0) != 0;
}
}  // namespace

class SessionEndTest : public ProgramTest, public testing::WithParamInterface<Scope>
{
protected:
    void SetUp() override
    {
        if (!InOwnPrefix())
            GTEST_SKIP() << "ends every windowed program of its prefix; set MORVEX_WINEPREFIX to a prefix of its own";
        ProgramTest::SetUp();
        // This process must outlive the session's end to see it: it has no window for it to close.
        ASSERT_FALSE(OwnsAnyWindow(::GetCurrentProcessId()));
        AddDword(g_szProgramSettings, g_szScopeSetting, GetParam().dwSetting);
        // Another program of the session, which ends with it.
        ASSERT_EQ(L"", m_bystander.Start(L"C:\\windows\\system32\\notepad.exe"));
        ASSERT_TRUE(WaitUntil([&] { return OwnsAnyWindow(m_bystander.Id()); }, 15000));
    }

    void ExpectSessionEndedWithLeftWindowsStored()
    {
        if (GetParam().bWineEndsTheSession)
        {
            EXPECT_TRUE(m_bystander.WaitForExit(30000)) << "the session did not end: another program still runs";
            EXPECT_TRUE(WaitUntil([] { return !SessionStillEnding(); }, 30000)) << "the session is still ending";
        }
        EXPECT_EQ(Hex(L"00000000 00000000 02000000 00005BE0 00000000"), QueryValue(GetParam().pszLayoutKey, g_szScancodeMap));
    }

    CProgram m_bystander;
};

TEST_P(SessionEndTest, YesStoresTheChangeAndEndsTheSession)
{
    ASSERT_TRUE(Open());
    Toggle(m_hWndMain, g_szLeftWindows);
    ClickButton(m_hWndMain, L"OK");
    const BoxView question = WaitForBox();
    ASSERT_TRUE(question);
    EXPECT_EQ(GetParam().pszQuestion, question.strText);
    ClickButton(question.hWnd, L"Yes");

    // Had the request been refused, a box would say so and the program would wait for an answer.
    ExpectProgramEnds(30000);
    ExpectSessionEndedWithLeftWindowsStored();
}

// Only for all users: no log-off brings the current user's value into effect on Windows 7 and later,
// so the command line refuses that change, stores nothing and leaves the session alone.
TEST_P(SessionEndTest, CommandLineRestartStoresTheChangeAndEndsTheSessionForAllUsersOnly)
{
    const RunResult result = RunCaptured(ProgramPath(), { L"/disable", L"LWin", L"/restart" });
    if (GetParam().dwSetting == 0)
    {
        EXPECT_EQ(1u, result.dwExitCode) << testing::PrintToString(result.strOutput);
        EXPECT_NE(std::wstring::npos, result.strOutput.find(L"The command line changes no current user's layout"))
            << testing::PrintToString(result.strOutput);
        EXPECT_EQ(std::nullopt, QueryValue(GetParam().pszLayoutKey, g_szScancodeMap));
        EXPECT_FALSE(m_bystander.WaitForExit(3000)) << "the session ended";
        return;
    }
    EXPECT_EQ(1641u, result.dwExitCode) << testing::PrintToString(result.strOutput);
    EXPECT_NE(std::wstring::npos, result.strOutput.find(L"Stored. Asking Windows to")) << testing::PrintToString(result.strOutput);
    ExpectSessionEndedWithLeftWindowsStored();
}

INSTANTIATE_TEST_SUITE_P(
    Scopes, SessionEndTest,
    testing::Values(Scope{ "AllUsersRestart", 1, g_szMachineLayout, g_szRestartQuestion, false },
                    Scope{ "CurrentUserLogOff", 0, g_szUserLayout, g_szLogOffQuestion, true }),
    [](const testing::TestParamInfo<Scope>& tested) { return std::string(tested.param.pszName); });
