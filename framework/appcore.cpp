#include "afxwin.h"
#include "afxreg.h"

#include <stdlib.h>

namespace
{
CWinApp* s_pApp = nullptr;
HINSTANCE s_hInstance = nullptr;
}  // namespace

CWinApp* AFXAPI AfxGetApp() { return s_pApp; }

CWnd* AFXAPI AfxGetMainWnd() { return s_pApp != nullptr ? s_pApp->m_pMainWnd : nullptr; }

HINSTANCE AFXAPI AfxGetInstanceHandle() { return s_hInstance != nullptr ? s_hInstance : ::GetModuleHandleW(nullptr); }

// Resources live in the program itself; there are no satellite resource modules.
HINSTANCE AFXAPI AfxGetResourceHandle() { return AfxGetInstanceHandle(); }

HINSTANCE AFXAPI AfxFindResourceHandle(LPCWSTR, LPCWSTR) { return AfxGetResourceHandle(); }

CWinApp::CWinApp(LPCWSTR lpszAppName)
{
    s_pApp = this;
    if (lpszAppName != nullptr)
    {
        m_strAppName = lpszAppName;
        m_pszAppName = m_strAppName;
    }
}

CWinApp::~CWinApp()
{
    if (s_pApp == this)
        s_pApp = nullptr;
}

void CWinApp::SetCurrentHandles(HINSTANCE hInstance)
{
    s_hInstance = hInstance;
    m_hInstance = hInstance;
    if (m_pszAppName == nullptr)
    {
        m_strAppName.LoadString(AFX_IDS_APP_TITLE);
        m_pszAppName = m_strAppName;
    }
}

BOOL AFXAPI AfxWinInit(HINSTANCE hInstance, HINSTANCE, LPWSTR, int)
{
    if (s_pApp == nullptr)
        return FALSE;
    s_pApp->SetCurrentHandles(hInstance);
    return TRUE;
}

int AFXAPI AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow)
{
    if (!AfxWinInit(hInstance, hPrevInstance, lpCmdLine, nCmdShow))
        return -1;
    CWinApp* pApp = AfxGetApp();
    // An application that did all its work in InitInstance (a modal dialog) returns FALSE there
    // and ends without a message loop.
    return pApp->InitInstance() ? pApp->Run() : pApp->ExitInstance();
}

int CWinApp::Run()
{
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0)
    {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return ExitInstance();
}

void CCommandLineInfo::ParseParam(const WCHAR*, BOOL, BOOL)
{
}

void CWinApp::ParseCommandLine(CCommandLineInfo& rCmdInfo)
{
    // A program without the wide entry point has no wide arguments: nothing to parse.
    if (__wargv == nullptr)
        return;
    for (int i = 1; i < __argc; ++i)
    {
        const WCHAR* pszParam = __wargv[i];
        BOOL bFlag = FALSE;
        if (pszParam[0] == L'-' || pszParam[0] == L'/')
        {
            bFlag = TRUE;
            ++pszParam;
        }
        rCmdInfo.ParseParam(pszParam, bFlag, i + 1 == __argc);
    }
}

void CWinApp::SetRegistryKey(LPCWSTR lpszRegistryKey)
{
    m_strRegistryKey = lpszRegistryKey;
    m_pszRegistryKey = m_strRegistryKey;
}

CString CWinApp::SectionPath(LPCWSTR lpszSection) const
{
    CString strPath;
    strPath.Format(L"Software\\%s\\%s\\%s", m_pszRegistryKey, m_pszAppName != nullptr ? m_pszAppName : L"", lpszSection);
    return strPath;
}

UINT CWinApp::GetProfileInt(LPCWSTR lpszSection, LPCWSTR lpszEntry, int nDefault)
{
    if (m_pszRegistryKey == nullptr)
        return static_cast<UINT>(nDefault);
    CRegKey key;
    if (key.Open(HKEY_CURRENT_USER, SectionPath(lpszSection), KEY_READ) != ERROR_SUCCESS)
        return static_cast<UINT>(nDefault);
    CByteArray value;
    DWORD dwType = 0;
    if (key.QueryValue(lpszEntry, &dwType, value) != ERROR_SUCCESS || dwType != REG_DWORD || value.GetSize() != sizeof(DWORD))
        return static_cast<UINT>(nDefault);
    DWORD dwValue;
    memcpy(&dwValue, value.GetData(), sizeof(dwValue));
    return dwValue;
}

BOOL CWinApp::WriteProfileInt(LPCWSTR lpszSection, LPCWSTR lpszEntry, int nValue)
{
    if (m_pszRegistryKey == nullptr)
        return FALSE;
    CRegKey key;
    if (key.Create(HKEY_CURRENT_USER, SectionPath(lpszSection), KEY_WRITE) != ERROR_SUCCESS)
        return FALSE;
    const DWORD dwValue = static_cast<DWORD>(nValue);
    return key.SetValue(lpszEntry, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue), sizeof(dwValue)) == ERROR_SUCCESS;
}
