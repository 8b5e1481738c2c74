// CMorvexConsoleApp: the console program's application object, which runs the command line, or starts the dialog program.
#pragma once

#include "framework/afxwinappex.h"

class CMorvexConsoleApp : public CWinAppEx
{
public:
    CMorvexConsoleApp();

    BOOL InitInstance() override;
    int ExitInstance() override;

private:
    // The process's exit code: what the command line reports, or how starting the dialog went.
    int m_nExitCode = 0;
};

extern CMorvexConsoleApp theApp;
