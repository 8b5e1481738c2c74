#include "console/ConsoleApp.h"

#include "app/CommandLine.h"
#include "console/DialogLauncher.h"
#include "ui/CommandLineOutput.h"

CMorvexConsoleApp theApp;

namespace
{
// The dialog's one setting, under the same application name (the string table's title), so that
// both programs work in the scope the dialog shows.
const WCHAR s_szSettings[] = L"Settings";
const WCHAR s_szScopeEntry[] = L"m_bApplyChangesForAllUsers";
}  // namespace

CMorvexConsoleApp::CMorvexConsoleApp() : CWinAppEx(TRUE)
{
}

BOOL CMorvexConsoleApp::InitInstance()
{
    CWinAppEx::InitInstance();
    SetRegistryKey(L"MorvexSoft");

    CMorvexCommandLineInfo cmdInfo;
    ParseCommandLine(cmdInfo);
    // Whatever the arguments, /quiet or not, the console or the given handles are the only way out:
    // a box would hold a script or an agent that waits for this program.
    CStdOutput output(TRUE, FALSE, cmdInfo.m_bJson, CStdOutput::consoleProgram);
    if (!cmdInfo.HasArguments())
    {
        // A double-click on this file, or the bare name typed at a prompt: what people want is the dialog.
        m_nExitCode = StartDialogProgram(CDialogLauncher::Real(), output);
        return FALSE;
    }
    const BOOL bAllUsers = static_cast<BOOL>(GetProfileInt(s_szSettings, s_szScopeEntry, TRUE));
    m_nExitCode = CCommandLine::Run(cmdInfo, CRegistryApi::Real(), CSessionControl::Real(), bAllUsers, output);
    return FALSE;
}

int CMorvexConsoleApp::ExitInstance()
{
    CWinAppEx::ExitInstance();
    return m_nExitCode;
}
