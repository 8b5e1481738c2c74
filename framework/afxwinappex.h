// CWinAppEx: the application base of this program; resource smart update has no effect here.
#pragma once

#include "afxwin.h"

class CWinAppEx : public CWinApp
{
public:
    explicit CWinAppEx(BOOL bResourceSmartUpdate = FALSE) : m_bResourceSmartUpdate(bResourceSmartUpdate) {}

protected:
    BOOL m_bResourceSmartUpdate;
};
