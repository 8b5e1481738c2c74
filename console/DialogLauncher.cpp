#include "console/DialogLauncher.h"

#include <objbase.h>
#include <shellapi.h>
#include <wchar.h>

#include "system/SystemErrorText.h"

namespace
{
const WCHAR s_szDialogProgram[] = L"MorvexDisabler.exe";
}  // namespace

CString CDialogLauncher::OwnFolder()
{
    // As long as a path may be: the folder is searched for nothing, it is named in full.
    const DWORD cchMax = 32768;
    CByteArray buffer;
    buffer.SetSize(static_cast<INT_PTR>(cchMax * sizeof(WCHAR)));
    const LPWSTR pszPath = reinterpret_cast<LPWSTR>(buffer.GetData());
    const DWORD cch = pszPath != nullptr ? ::GetModuleFileNameW(nullptr, pszPath, cchMax) : 0;
    WCHAR* const pszSlash = cch > 0 && cch < cchMax ? wcsrchr(pszPath, L'\\') : nullptr;
    if (pszSlash == nullptr)
        return CString();
    *pszSlash = L'\0';
    return CString(pszPath);
}

DWORD CDialogLauncher::Open(LPCWSTR pszPath)
{
    // The shell, COM and what they bring along would cost every start of the command line a good part
    // of its time: loaded only here. Both are known DLLs, which Windows takes from System32 whatever
    // the search order.
    typedef BOOL(WINAPI * ShellExecuteExFn)(SHELLEXECUTEINFOW*);
    typedef HRESULT(WINAPI * CoInitializeExFn)(LPVOID, DWORD);
    const HMODULE hShell = ::LoadLibraryW(L"shell32.dll");
    const auto pfnShellExecuteEx = hShell == nullptr ? nullptr
                                                     : reinterpret_cast<ShellExecuteExFn>(reinterpret_cast<void (*)()>(
                                                           ::GetProcAddress(hShell, "ShellExecuteExW")));
    if (pfnShellExecuteEx == nullptr)
        return ::GetLastError();
    // The shell may hand the start to its extensions (the check of a downloaded file's zone, say),
    // which want a single-threaded apartment. The process ends right after: the apartment is not left.
    const HMODULE hOle = ::LoadLibraryW(L"ole32.dll");
    if (const auto pfnCoInitializeEx = hOle == nullptr ? nullptr
                                                       : reinterpret_cast<CoInitializeExFn>(reinterpret_cast<void (*)()>(
                                                             ::GetProcAddress(hOle, "CoInitializeEx"))))
        pfnCoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    SHELLEXECUTEINFOW info = { sizeof(info) };
    // No box of the shell's own for a missing file: the caller says it on the console. NOASYNC:
    // this process ends right after, and the start must not end with it.
    info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    // The elevation prompt belongs to the console the command was typed in, when there is one.
    info.hwnd = ::GetConsoleWindow();
    info.lpVerb = L"open";
    info.lpFile = pszPath;
    info.nShow = SW_SHOWNORMAL;
    return pfnShellExecuteEx(&info) ? ERROR_SUCCESS : ::GetLastError();
}

CDialogLauncher& CDialogLauncher::Real()
{
    static CDialogLauncher s_real;
    return s_real;
}

int StartDialogProgram(CDialogLauncher& launcher, CCommandLineOutput& output)
{
    const CString strFolder = launcher.OwnFolder();
    if (strFolder.IsEmpty())
    {
        output.Write(L"Could not find this program's own folder, where MorvexDisabler.exe belongs.", CCommandLineOutput::error);
        return 1;
    }
    const CString strPath = strFolder + L"\\" + s_szDialogProgram;
    const DWORD dwError = launcher.Open(strPath);
    switch (dwError)
    {
    case ERROR_SUCCESS:
        return 0;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        output.Write(L"The dialog program " + strPath + L" is missing: it belongs beside this one.\n"
                     L"Type MorvexDisabler /? for the command line.",
                     CCommandLineOutput::error);
        return 1;
    default:
        output.Write(L"Could not start " + strPath + L": " + SystemErrorText(dwError), CCommandLineOutput::error);
        // 1223 when the user declined the elevation: a script can tell that from a failure.
        return static_cast<int>(dwError);
    }
}
