// The framework's window classes: application object, windows, dialogs, data exchange, GDI and menus.
#pragma once

#include <windows.h>

#include "afxstr.h"
#include "afxcoll.h"
#include "afxmsg_.h"

#define AFXAPI __stdcall
#define afx_msg

// The framework's own string id for the application's name.
#define AFX_IDS_APP_TITLE 0xE000
#define ID_HELP 0xE146

class CWnd;
class CWinApp;

class CObject
{
public:
    virtual ~CObject() = default;
};

class CCmdTarget : public CObject
{
};

// -------------------------------------------------------------------------------------------------
// Graphics and menus: thin owners of a device context and a menu handle.

class CDC : public CObject
{
public:
    HDC m_hDC = nullptr;
    HDC GetSafeHdc() const { return m_hDC; }
    BOOL DrawIcon(int x, int y, HICON hIcon) { return ::DrawIcon(m_hDC, x, y, hIcon); }
};

// Paints between BeginPaint and EndPaint for as long as it lives.
class CPaintDC : public CDC
{
public:
    explicit CPaintDC(CWnd* pWnd);
    ~CPaintDC() override;
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;

    PAINTSTRUCT m_ps;

private:
    HWND m_hWnd;
};

class CMenu : public CObject
{
public:
    HMENU m_hMenu = nullptr;
    BOOL AppendMenu(UINT nFlags, UINT_PTR nIDNewItem = 0, LPCWSTR lpszNewItem = nullptr)
    {
        return ::AppendMenuW(m_hMenu, nFlags, nIDNewItem, lpszNewItem);
    }
};

// -------------------------------------------------------------------------------------------------
// Data exchange between a dialog's controls and its members.

class CDataExchange
{
public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate) : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}
    BOOL m_bSaveAndValidate;  // TRUE: controls to members; FALSE: members to controls
    CWnd* m_pDlgWnd;
};

// A two-state check box and a 0-or-1 integer member.
void AFXAPI DDX_Check(CDataExchange* pDX, int nIDC, int& value);

// -------------------------------------------------------------------------------------------------
// Windows.

class CWnd : public CCmdTarget
{
public:
    CWnd() = default;
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    operator HWND() const { return m_hWnd; }

    // The object attached to a window of ours, or a temporary one that lives until the message
    // being handled is done (so it must not be kept).
    static CWnd* FromHandle(HWND hWnd);
    static CWnd* FromHandlePermanent(HWND hWnd);

    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
    // With no caption the box carries the application's name.
    int MessageBox(LPCWSTR lpszText, LPCWSTR lpszCaption = nullptr, UINT nType = MB_OK);

    CWnd* GetDlgItem(int nID) const;
    BOOL EnableWindow(BOOL bEnable = TRUE) { return ::EnableWindow(m_hWnd, bEnable); }
    void SetWindowText(LPCWSTR lpszString) { ::SetWindowTextW(m_hWnd, lpszString); }
    CMenu* GetSystemMenu(BOOL bRevert) const;
    HICON SetIcon(HICON hIcon, BOOL bBigIcon);
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    void GetClientRect(LPRECT lpRect) const { ::GetClientRect(m_hWnd, lpRect); }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }
    // Centres over the owner, or over the work area of the window's monitor when there is none.
    void CenterWindow();

protected:
    virtual void DoDataExchange(CDataExchange* pDX);

    // Every message of a window of ours comes here: the class's message map first, then, for what
    // the map leaves, the virtual DefWindowProc.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    // The default processing: the window procedure the window had before we took it over.
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Runs the default processing for the message being handled now.
    LRESULT Default();

    afx_msg void OnPaint() { Default(); }
    afx_msg void OnSysCommand(UINT, LPARAM) { Default(); }
    afx_msg HCURSOR OnQueryDragIcon() { return reinterpret_cast<HCURSOR>(Default()); }
    afx_msg BOOL OnHelpInfo(HELPINFO*) { return static_cast<BOOL>(Default()); }

    // Takes the window over: from now on its messages reach WindowProc.
    void SubclassWindow(HWND hWnd);

private:
    static LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    void UnsubclassWindow();

    WNDPROC m_pfnSuper = nullptr;
    struct { UINT message; WPARAM wParam; LPARAM lParam; } m_current = {};
};

// -------------------------------------------------------------------------------------------------
// Modal dialogs.

class CDialog : public CWnd
{
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);

    // IDOK or IDCANCEL as the dialog ended, -1 when it could not be created.
    virtual INT_PTR DoModal();
    void EndDialog(int nResult) { ::EndDialog(m_hWnd, nResult); }

protected:
    // Shows the members in the controls; TRUE lets the dialog manager set the focus.
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();

    LPCWSTR m_lpszTemplateName;
    CWnd* m_pParentWnd;

    DECLARE_MESSAGE_MAP()

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
};

// -------------------------------------------------------------------------------------------------
// The application.

// What CWinApp::ParseCommandLine hands over, one argument at a time; the application's subclass
// decides what its arguments mean.
class CCommandLineInfo : public CObject
{
public:
    // pszParam comes without the leading '/' or '-' of a switch, which bFlag then marks; bLast
    // marks the last argument.
    virtual void ParseParam(const WCHAR* pszParam, BOOL bFlag, BOOL bLast);
};

class CWinApp : public CCmdTarget
{
public:
    explicit CWinApp(LPCWSTR lpszAppName = nullptr);
    ~CWinApp() override;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    LPCWSTR m_pszAppName = nullptr;
    LPCWSTR m_pszRegistryKey = nullptr;
    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;

    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return 0; }
    // The message loop of an application whose InitInstance keeps it running.
    virtual int Run();
    // Every argument after the program's name, as the C run-time split the command line.
    void ParseCommandLine(CCommandLineInfo& rCmdInfo);

    // Profile values then live under HKEY_CURRENT_USER\Software\<key>\<application name>\<section>.
    void SetRegistryKey(LPCWSTR lpszRegistryKey);
    UINT GetProfileInt(LPCWSTR lpszSection, LPCWSTR lpszEntry, int nDefault);
    BOOL WriteProfileInt(LPCWSTR lpszSection, LPCWSTR lpszEntry, int nValue);

    // Takes the module and, unless the constructor was given one, the name from AFX_IDS_APP_TITLE.
    void SetCurrentHandles(HINSTANCE hInstance);

private:
    CString SectionPath(LPCWSTR lpszSection) const;

    CString m_strAppName;
    CString m_strRegistryKey;
};

CWinApp* AFXAPI AfxGetApp();
CWnd* AFXAPI AfxGetMainWnd();
HINSTANCE AFXAPI AfxGetInstanceHandle();
HINSTANCE AFXAPI AfxGetResourceHandle();
HINSTANCE AFXAPI AfxFindResourceHandle(LPCWSTR lpszName, LPCWSTR lpszType);
BOOL AFXAPI AfxWinInit(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow);
int AFXAPI AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow);
// Dialogs of this framework host no ActiveX controls, so there is nothing to set up.
inline void AfxEnableControlContainer() {}
