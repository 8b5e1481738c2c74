#include "app/MorvexDisabler.h"

#include <commctrl.h>

#include "cmdline/CommandLine.h"
#include "cmdline/CommandLineOutput.h"
#include "dialog/MorvexDisablerDlg.h"
#include "system/ScopeSetting.h"

CMorvexDisablerApp theApp;

CMorvexDisablerApp::CMorvexDisablerApp() : CWinAppEx(TRUE)
{
}

BOOL CMorvexDisablerApp::InitInstance()
{
    INITCOMMONCONTROLSEX initCtrls = { sizeof(initCtrls), ICC_WIN95_CLASSES };
    ::InitCommonControlsEx(&initCtrls);

    CWinAppEx::InitInstance();
    AfxEnableControlContainer();
    SetRegistryKey(L"MorvexSoft");

    CMorvexCommandLineInfo cmdInfo;
    ParseCommandLine(cmdInfo);
    if (cmdInfo.HasArguments())
    {
        // Scripts and deployment tools: the dialog's edit in the dialog's scope, with no window.
        CSessionControl& session = CSessionControl::Real();
        CStdOutput output(cmdInfo.m_bQuiet, session.IsUsersDesktop(), cmdInfo.m_bJson);
        m_nExitCode = CCommandLine::Run(cmdInfo, CRegistryApi::Real(), session, StoredScopeSetting(), output);
        return FALSE;
    }

    CMorvexDisablerDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();

    // The dialog was the whole program: no message loop follows.
    return FALSE;
}

int CMorvexDisablerApp::ExitInstance()
{
    CWinAppEx::ExitInstance();
    return m_nExitCode;
}
