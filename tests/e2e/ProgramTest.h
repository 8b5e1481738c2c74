// The fixture of the tests that run the built program as its own process and use it from outside.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Desktop.h"
#include "RegTool.h"

// What the program shows.
extern const WCHAR g_szMainCaption[];
extern const WCHAR g_szRestartQuestion[];
extern const WCHAR g_szLogOffQuestion[];
extern const WCHAR g_szLeftWindows[];
extern const WCHAR g_szRightWindows[];
extern const WCHAR g_szCapsLock[];
extern const WCHAR g_szLeftCtrl[];
extern const WCHAR g_szAllUsers[];

// Starts with no stored layout and no stored settings, and leaves none behind; a program still
// running at the end is ended.
class ProgramTest : public testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the program and waits for its main window; null (and a failure) when it does not come.
    HWND Open();
    CProgram& Program() { return *m_pProgram; }
    // The box the main window opens next, or an empty view.
    BoxView WaitForBox(DWORD dwTimeoutMs = 5000);
    // Ends with the test failed when the program is still running after the time.
    void ExpectProgramEnds(DWORD dwTimeoutMs = 10000);

    HWND m_hWndMain = nullptr;

private:
    std::unique_ptr<CProgram> m_pProgram;
};

// The program's path from MORVEX_PROGRAM, as a Windows path.
std::wstring ProgramPath();
// The console program beside it, MorvexDisabler.com.
std::wstring ConsoleProgramPath();
