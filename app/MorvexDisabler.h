// CMorvexDisablerApp: the application object, which runs the main dialog, or the command line when given arguments.
#pragma once

#include "framework/afxwinappex.h"

class CMorvexDisablerApp : public CWinAppEx
{
public:
    CMorvexDisablerApp();

    BOOL InitInstance() override;
    int ExitInstance() override;

private:
    // The process's exit code: the dialog's 0, or what the command line reports.
    int m_nExitCode = 0;
};

extern CMorvexDisablerApp theApp;
