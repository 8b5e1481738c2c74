#include "ProgramTest.h"

const WCHAR g_szMainCaption[] = L"Morvex Disabler by MorvexSoft";
const WCHAR g_szRestartQuestion[] = L"Do you Want to Restart the Computer Now for the Changes to be in Effect ?";
const WCHAR g_szLogOffQuestion[] = L"Do you Want to Log Off from the Signed On Account Now for the Changes to be in Effect ?";
const WCHAR g_szLeftWindows[] = L"Left Windows Key";
const WCHAR g_szRightWindows[] = L"Right Windows Key";
const WCHAR g_szCapsLock[] = L"Caps Lock Key";
const WCHAR g_szLeftCtrl[] = L"Left Ctrl Key";
const WCHAR g_szAllUsers[] = L"For All Users on this Computer";

std::wstring ProgramPath()
{
    WCHAR szPath[MAX_PATH] = {};
    if (::GetEnvironmentVariableW(L"MORVEX_PROGRAM", szPath, MAX_PATH) == 0)
        return L"";
    std::wstring strPath = szPath;
    for (WCHAR& ch : strPath)
    {
        if (ch == L'/')
            ch = L'\\';
    }
    return strPath;
}

std::wstring ConsoleProgramPath()
{
    const std::wstring strPath = ProgramPath();
    return strPath.substr(0, strPath.rfind(L'.')) + L".com";
}

void ProgramTest::SetUp()
{
    ForgetEverything();
}

void ProgramTest::TearDown()
{
    m_pProgram.reset();
    ForgetEverything();
}

HWND ProgramTest::Open()
{
    const std::wstring strPath = ProgramPath();
    EXPECT_FALSE(strPath.empty()) << "MORVEX_PROGRAM does not name the program";
    m_pProgram = std::make_unique<CProgram>();
    const std::wstring strError = m_pProgram->Start(strPath);
    EXPECT_EQ(L"", strError);
    m_hWndMain = strError.empty() ? m_pProgram->WaitForMainWindow(g_szMainCaption) : nullptr;
    EXPECT_NE(nullptr, m_hWndMain) << "no window \"Morvex Disabler by MorvexSoft\" came up";
    return m_hWndMain;
}

BoxView ProgramTest::WaitForBox(DWORD dwTimeoutMs)
{
    return ReadBox(m_pProgram->WaitForOwnedDialog(m_hWndMain, dwTimeoutMs));
}

void ProgramTest::ExpectProgramEnds(DWORD dwTimeoutMs)
{
    if (m_pProgram->WaitForExit(dwTimeoutMs))
        return;
    const BoxView box = WaitForBox(0);
    ADD_FAILURE() << "the program is still running" << (box ? ", showing " + testing::PrintToString(box.strText) : std::string());
}
