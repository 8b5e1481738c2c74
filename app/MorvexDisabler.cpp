#include "app/MorvexDisabler.h"

#include <commctrl.h>

#include "ui/MorvexDisablerDlg.h"

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

    CMorvexDisablerDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();

    // The dialog was the whole program: no message loop follows.
    return FALSE;
}
