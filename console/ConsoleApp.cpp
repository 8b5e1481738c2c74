#include "console/ConsoleApp.h"

#include "cmdline/CommandLine.h"
#include "cmdline/CommandLineOutput.h"
#include "console/DialogLauncher.h"
#include "dsc/DscResource.h"
#include "system/ScopeSetting.h"

CMorvexConsoleApp theApp;

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
    if (cmdInfo.m_bDsc)
    {
        // DSC reads the standard output as the instance and the standard error as its trace.
        m_nExitCode = CDscResource::Run(cmdInfo, CDscInput::Real(), CRegistryApi::Real(), output);
        return FALSE;
    }
    if (!cmdInfo.HasArguments())
    {
        // A double-click on this file, or the bare name typed at a prompt: what people want is the dialog.
        m_nExitCode = StartDialogProgram(CDialogLauncher::Real(), output);
        return FALSE;
    }
    m_nExitCode = CCommandLine::Run(cmdInfo, CRegistryApi::Real(), CSessionControl::Real(), StoredScopeSetting(), output);
    return FALSE;
}

int CMorvexConsoleApp::ExitInstance()
{
    CWinAppEx::ExitInstance();
    return m_nExitCode;
}
