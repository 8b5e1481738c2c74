#include "afxwin.h"

// -------------------------------------------------------------------------------------------------
// Handle to object: a window property names the CWnd that owns a window of ours; any other window
// gets a temporary wrapper that lives until the outermost message being handled is done.

static const WCHAR s_szWndProp[] = L"MorvexFramework.CWnd";

namespace
{
struct CTempWnd
{
    CWnd* pWnd;
    CTempWnd* pNext;
};

CTempWnd* s_pTempWnds = nullptr;
int s_nMessageDepth = 0;

void DeleteTempWnds()
{
    while (s_pTempWnds != nullptr)
    {
        CTempWnd* pNext = s_pTempWnds->pNext;
        s_pTempWnds->pWnd->m_hWnd = nullptr;
        delete s_pTempWnds->pWnd;
        delete s_pTempWnds;
        s_pTempWnds = pNext;
    }
}

CMenu s_sysMenu;
}  // namespace

CWnd::~CWnd()
{
    if (m_pfnSuper != nullptr)
        UnsubclassWindow();
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd)
{
    return hWnd != nullptr ? static_cast<CWnd*>(::GetPropW(hWnd, s_szWndProp)) : nullptr;
}

CWnd* CWnd::FromHandle(HWND hWnd)
{
    if (hWnd == nullptr)
        return nullptr;
    if (CWnd* pWnd = FromHandlePermanent(hWnd))
        return pWnd;
    for (CTempWnd* pTemp = s_pTempWnds; pTemp != nullptr; pTemp = pTemp->pNext)
    {
        if (pTemp->pWnd->m_hWnd == hWnd)
            return pTemp->pWnd;
    }
    CWnd* pWnd = new CWnd;
    pWnd->m_hWnd = hWnd;
    s_pTempWnds = new CTempWnd{ pWnd, s_pTempWnds };
    return pWnd;
}

CWnd* CWnd::GetDlgItem(int nID) const
{
    return FromHandle(::GetDlgItem(m_hWnd, nID));
}

CMenu* CWnd::GetSystemMenu(BOOL bRevert) const
{
    // One thread, one system menu asked for at a time: a single wrapper serves every caller.
    s_sysMenu.m_hMenu = ::GetSystemMenu(m_hWnd, bRevert);
    return s_sysMenu.m_hMenu != nullptr ? &s_sysMenu : nullptr;
}

HICON CWnd::SetIcon(HICON hIcon, BOOL bBigIcon)
{
    return reinterpret_cast<HICON>(SendMessage(WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(hIcon)));
}

void CWnd::CenterWindow()
{
    RECT rcArea;
    HWND hWndOwner = ::GetWindow(m_hWnd, GW_OWNER);
    if (hWndOwner != nullptr && ::IsWindowVisible(hWndOwner) && !::IsIconic(hWndOwner))
    {
        ::GetWindowRect(hWndOwner, &rcArea);
    }
    else
    {
        MONITORINFO mi = { sizeof(mi) };
        ::GetMonitorInfoW(::MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTOPRIMARY), &mi);
        rcArea = mi.rcWork;
    }
    RECT rcWindow;
    ::GetWindowRect(m_hWnd, &rcWindow);
    const int cx = rcWindow.right - rcWindow.left;
    const int cy = rcWindow.bottom - rcWindow.top;
    const int x = rcArea.left + (rcArea.right - rcArea.left - cx) / 2;
    const int y = rcArea.top + (rcArea.bottom - rcArea.top - cy) / 2;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int CWnd::MessageBox(LPCWSTR lpszText, LPCWSTR lpszCaption, UINT nType)
{
    if (lpszCaption == nullptr && AfxGetApp() != nullptr)
        lpszCaption = AfxGetApp()->m_pszAppName;
    return ::MessageBoxW(m_hWnd, lpszText, lpszCaption, nType);
}

BOOL CWnd::UpdateData(BOOL bSaveAndValidate)
{
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

void CWnd::DoDataExchange(CDataExchange*) {}

void AFXAPI DDX_Check(CDataExchange* pDX, int nIDC, int& value)
{
    HWND hWndCtrl = ::GetDlgItem(pDX->m_pDlgWnd->m_hWnd, nIDC);
    if (pDX->m_bSaveAndValidate)
        value = ::SendMessageW(hWndCtrl, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
    else
        ::SendMessageW(hWndCtrl, BM_SETCHECK, value != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
}

// -------------------------------------------------------------------------------------------------
// Message dispatch.

void CWnd::SubclassWindow(HWND hWnd)
{
    m_hWnd = hWnd;
    ::SetPropW(hWnd, s_szWndProp, this);
    m_pfnSuper = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::AfxWndProc)));
}

void CWnd::UnsubclassWindow()
{
    ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    ::RemovePropW(m_hWnd, s_szWndProp);
    m_pfnSuper = nullptr;
    m_hWnd = nullptr;
}

LRESULT CALLBACK CWnd::AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* pWnd = FromHandlePermanent(hWnd);
    if (pWnd == nullptr)
        return ::DefWindowProcW(hWnd, message, wParam, lParam);

    ++s_nMessageDepth;
    LRESULT lResult;
    if (message == WM_NCDESTROY)
    {
        // The window is going: hand the last message to its own procedure and let go of it.
        WNDPROC pfnSuper = pWnd->m_pfnSuper;
        pWnd->UnsubclassWindow();
        lResult = ::CallWindowProcW(pfnSuper, hWnd, message, wParam, lParam);
    }
    else
    {
        lResult = pWnd->WindowProc(message, wParam, lParam);
    }
    if (--s_nMessageDepth == 0)
        DeleteTempWnds();
    return lResult;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    const auto previous = m_current;
    m_current = { message, wParam, lParam };
    LRESULT lResult = 0;
    if (!OnWndMsg(message, wParam, lParam, &lResult))
        lResult = DefWindowProc(message, wParam, lParam);
    m_current = previous;
    return lResult;
}

BOOL CWnd::OnWndMsg(UINT, WPARAM, LPARAM, LRESULT*)
{
    return FALSE;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_pfnSuper != nullptr)
        return ::CallWindowProcW(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default()
{
    return DefWindowProc(m_current.message, m_current.wParam, m_current.lParam);
}

// -------------------------------------------------------------------------------------------------
// GDI.

CPaintDC::CPaintDC(CWnd* pWnd) : m_hWnd(pWnd->m_hWnd)
{
    m_hDC = ::BeginPaint(m_hWnd, &m_ps);
}

CPaintDC::~CPaintDC()
{
    ::EndPaint(m_hWnd, &m_ps);
}
