// CAboutDlg: the About box opened from the main dialog's system menu.
#pragma once

#include "framework/afxwin.h"
#include "res/resource.h"

class CAboutDlg : public CDialog
{
public:
    CAboutDlg() : CDialog(IDD_ABOUTBOX) {}

    enum { IDD = IDD_ABOUTBOX };

protected:
    void DoDataExchange(CDataExchange* pDX) override { CDialog::DoDataExchange(pDX); }
};
