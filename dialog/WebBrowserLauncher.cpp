#include "dialog/WebBrowserLauncher.h"

#include <exdisp.h>
#include <oleauto.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

#include "framework/atlsecurity.h"

namespace
{
// The shell and COM with the libraries they bring along would cost every start a sixth of its
// time, for a link few people press: they are loaded when they are needed. All three are known
// DLLs, which Windows takes from System32 whatever the search order. They stay loaded: the shell
// may still be handing the address over on threads of its own.
template <class Fn>
bool BindProc(LPCWSTR pszDll, const char* pszName, Fn& pfn)
{
    HMODULE hModule = ::LoadLibraryW(pszDll);
    pfn = hModule == nullptr ? nullptr
                             : reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(hModule, pszName)));
    return pfn != nullptr;
}

// What the desktop shell's route needs of ole32 and oleaut32.
struct COleFunctions
{
    HRESULT(WINAPI* pfnCoInitializeEx)(LPVOID, DWORD) = nullptr;
    void(WINAPI* pfnCoUninitialize)() = nullptr;
    HRESULT(WINAPI* pfnCoCreateInstance)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*) = nullptr;
    BSTR(WINAPI* pfnSysAllocString)(const OLECHAR*) = nullptr;
    void(WINAPI* pfnSysFreeString)(BSTR) = nullptr;

    bool Load()
    {
        return BindProc(L"ole32.dll", "CoInitializeEx", pfnCoInitializeEx) &&
               BindProc(L"ole32.dll", "CoUninitialize", pfnCoUninitialize) &&
               BindProc(L"ole32.dll", "CoCreateInstance", pfnCoCreateInstance) &&
               BindProc(L"oleaut32.dll", "SysAllocString", pfnSysAllocString) &&
               BindProc(L"oleaut32.dll", "SysFreeString", pfnSysFreeString);
    }
};

// This thread in a single-threaded apartment, as the shell's objects require, for as long as it lives.
class COleApartment
{
public:
    explicit COleApartment(const COleFunctions& ole)
        : m_ole(ole), m_bEntered(SUCCEEDED(ole.pfnCoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)))
    {
    }
    ~COleApartment()
    {
        if (m_bEntered)
            m_ole.pfnCoUninitialize();
    }
    COleApartment(const COleApartment&) = delete;
    COleApartment& operator=(const COleApartment&) = delete;

    bool Entered() const { return m_bEntered; }

private:
    const COleFunctions& m_ole;
    bool m_bEntered;
};

// Owns one reference to a COM object.
template <class T>
class CComRef
{
public:
    CComRef() = default;
    ~CComRef()
    {
        if (m_p != nullptr)
            m_p->Release();
    }
    CComRef(const CComRef&) = delete;
    CComRef& operator=(const CComRef&) = delete;

    T* operator->() const { return m_p; }
    void** Out() { return reinterpret_cast<void**>(&m_p); }

    T* m_p = nullptr;
};

template <class T, class From>
HRESULT Query(const CComRef<From>& from, CComRef<T>& to)
{
    return from.m_p == nullptr ? E_POINTER : from->QueryInterface(__uuidof(T), to.Out());
}

// Owns one string allocated for automation calls.
class CBstr
{
public:
    CBstr(const COleFunctions& ole, LPCWSTR psz) : m_ole(ole), m_bstr(ole.pfnSysAllocString(psz)) {}
    ~CBstr() { m_ole.pfnSysFreeString(m_bstr); }
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;

    // A view of the string; the variant does not own it.
    VARIANT Variant() const
    {
        VARIANT var = {};
        V_VT(&var) = VT_BSTR;
        V_BSTR(&var) = m_bstr;
        return var;
    }

    const COleFunctions& m_ole;
    BSTR m_bstr;
};

VARIANT Int32Variant(LONG lValue)
{
    VARIANT var = {};
    V_VT(&var) = VT_I4;
    V_I4(&var) = lValue;
    return var;
}
}  // namespace

BOOL CWebBrowserLauncher::IsElevated()
{
    CAccessToken token;
    if (!token.GetProcessToken(TOKEN_QUERY))
        return TRUE;
    TOKEN_ELEVATION elevation = {};
    DWORD cb = 0;
    if (!::GetTokenInformation(token.GetHandle(), TokenElevation, &elevation, sizeof(elevation), &cb))
        return TRUE;
    return elevation.TokenIsElevated != 0;
}

// The desktop's folder view hands out the shell's automation object, whose ShellExecute runs in
// the desktop's process and so with the token of the user who is logged on.
BOOL CWebBrowserLauncher::OpenThroughDesktopShell(LPCWSTR pszAddress)
{
    COleFunctions ole;
    if (!ole.Load())
        return FALSE;
    // Declared first, so that every reference below is released before the apartment is left.
    COleApartment apartment(ole);
    if (!apartment.Entered())
        return FALSE;

    CComRef<IShellWindows> shellWindows;
    HRESULT hr = ole.pfnCoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, __uuidof(IShellWindows),
                                         shellWindows.Out());
    CComRef<IDispatch> desktop;
    if (SUCCEEDED(hr))
    {
        VARIANT location = Int32Variant(CSIDL_DESKTOP);
        VARIANT root = {};
        LONG lWindow = 0;
        hr = shellWindows->FindWindowSW(&location, &root, SWC_DESKTOP, &lWindow, SWFO_NEEDDISPATCH, &desktop.m_p);
        // S_FALSE: there is no desktop window.
        if (hr == S_FALSE || desktop.m_p == nullptr)
            hr = E_FAIL;
    }
    CComRef<IServiceProvider> services;
    if (SUCCEEDED(hr))
        hr = Query(desktop, services);
    CComRef<IShellBrowser> browser;
    if (SUCCEEDED(hr))
        hr = services->QueryService(SID_STopLevelBrowser, __uuidof(IShellBrowser), browser.Out());
    CComRef<IShellView> view;
    if (SUCCEEDED(hr))
        hr = browser->QueryActiveShellView(&view.m_p);
    CComRef<IDispatch> background;
    if (SUCCEEDED(hr))
        hr = view->GetItemObject(SVGIO_BACKGROUND, __uuidof(IDispatch), background.Out());
    CComRef<IShellFolderViewDual> folderView;
    if (SUCCEEDED(hr))
        hr = Query(background, folderView);
    CComRef<IDispatch> application;
    if (SUCCEEDED(hr))
        hr = folderView->get_Application(&application.m_p);
    CComRef<IShellDispatch2> shell;
    if (SUCCEEDED(hr))
        hr = Query(application, shell);
    if (FAILED(hr))
        return FALSE;

    const CBstr file(ole, pszAddress), none(ole, L""), verb(ole, L"open");
    if (file.m_bstr == nullptr || none.m_bstr == nullptr || verb.m_bstr == nullptr)
        return FALSE;
    return SUCCEEDED(
        shell->ShellExecute(file.m_bstr, none.Variant(), none.Variant(), verb.Variant(), Int32Variant(SW_SHOWMAXIMIZED)));
}

void CWebBrowserLauncher::OpenFromThisProcess(LPCWSTR pszAddress)
{
    typedef HINSTANCE(WINAPI * ShellExecuteFn)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
    ShellExecuteFn pfnShellExecute = nullptr;
    if (BindProc(L"shell32.dll", "ShellExecuteW", pfnShellExecute))
        pfnShellExecute(nullptr, L"Open", pszAddress, nullptr, nullptr, SW_SHOWMAXIMIZED);
}

CWebBrowserLauncher& CWebBrowserLauncher::Real()
{
    static CWebBrowserLauncher s_real;
    return s_real;
}

BOOL OpenWithUsersToken(CWebBrowserLauncher& launcher, LPCWSTR pszAddress)
{
    if (!launcher.IsElevated())
    {
        launcher.OpenFromThisProcess(pszAddress);
        return TRUE;
    }
    // An elevated ShellExecute would run whatever the user's own, unprotected file associations
    // name with the administrator's token. The desktop's shell or nothing.
    return launcher.OpenThroughDesktopShell(pszAddress);
}
