#include "afxwin.h"

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_lpszTemplateName(MAKEINTRESOURCEW(nIDTemplate)), m_pParentWnd(pParentWnd)
{
}

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, &CDialog::OnOK)
    ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()

INT_PTR CDialog::DoModal()
{
    // With no parent given, a dialog opened by the main window belongs to it: the dialog manager
    // then disables the main window until this one ends.
    HWND hWndOwner = m_pParentWnd != nullptr ? m_pParentWnd->m_hWnd : nullptr;
    if (hWndOwner == nullptr && AfxGetMainWnd() != this && AfxGetMainWnd() != nullptr)
        hWndOwner = AfxGetMainWnd()->m_hWnd;
    HINSTANCE hInst = AfxFindResourceHandle(m_lpszTemplateName, MAKEINTRESOURCEW(5) /* RT_DIALOG */);
    return ::DialogBoxParamW(hInst, m_lpszTemplateName, hWndOwner, &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

// The dialog procedure only sees WM_INITDIALOG: there the dialog is taken over, and from then on
// every message reaches WindowProc first and the dialog manager only through DefWindowProc, so the
// dialog procedure's return-value rules apply to this one message alone.
INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM, LPARAM lParam)
{
    if (message != WM_INITDIALOG)
        return FALSE;

    CDialog* pDlg = reinterpret_cast<CDialog*>(lParam);
    pDlg->SubclassWindow(hWnd);
    RECT rcBefore;
    ::GetWindowRect(hWnd, &rcBefore);
    const BOOL bSetFocus = pDlg->OnInitDialog();
    // A dialog that its initialisation left where the template put it opens centred.
    RECT rcAfter;
    ::GetWindowRect(hWnd, &rcAfter);
    if (::EqualRect(&rcBefore, &rcAfter) && (::GetWindowLongW(hWnd, GWL_STYLE) & WS_CHILD) == 0)
        pDlg->CenterWindow();
    return bSetFocus;
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (!UpdateData(TRUE))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}
