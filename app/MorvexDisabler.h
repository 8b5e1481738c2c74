// CMorvexDisablerApp: the application object, which runs the main dialog and ends.
#pragma once

#include "framework/afxwinappex.h"

class CMorvexDisablerApp : public CWinAppEx
{
public:
    CMorvexDisablerApp();

    BOOL InitInstance() override;
};

extern CMorvexDisablerApp theApp;
