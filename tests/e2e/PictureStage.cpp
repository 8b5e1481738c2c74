// Puts the program's dialogs on the screen one after the other for tools/pictures.sh to photograph.
//
//   picture_stage.exe <program> <folder>
//
// Opens the main dialog and writes <folder>\main.geometry, then the About box and
// <folder>\about.geometry, each as the window's crop geometry "WxH+X+Y" in screen pixels. After
// each it waits for the photographer to delete the file. Exits 0 once both dialogs are closed.
//
// Wine's X11 virtual desktop leaves the program's own About box black on the screen: a dialog
// from this template owned by another dialog is never drawn there, while the same dialog with no
// owner is. So the About box photographed is the program's template opened here, by the same
// dialog manager, on its own.
#include <windows.h>

#include <stdio.h>

#include "Desktop.h"
#include "res/resource.h"

namespace
{
const DWORD kTimeoutMs = 60000;

bool Publish(HWND hWnd, const std::wstring& strFile)
{
    // Every control has painted once the window's thread is idle again after showing it.
    ::Sleep(1000);
    RECT rc;
    ::GetWindowRect(hWnd, &rc);
    const std::wstring strPartial = strFile + L".part";
    FILE* pFile = _wfopen(strPartial.c_str(), L"w");
    if (pFile == nullptr)
        return false;
    fprintf(pFile, "%ldx%ld+%ld+%ld\n", rc.right - rc.left, rc.bottom - rc.top, rc.left, rc.top);
    fclose(pFile);
    if (!::MoveFileExW(strPartial.c_str(), strFile.c_str(), MOVEFILE_REPLACE_EXISTING))
        return false;
    return WaitUntil([&] { return ::GetFileAttributesW(strFile.c_str()) == INVALID_FILE_ATTRIBUTES; }, kTimeoutMs);
}

struct AboutShow
{
    std::wstring strFile;
    bool bPublished;
};

INT_PTR CALLBACK AboutProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG)
    {
        ::SetWindowLongPtrW(hWnd, DWLP_USER, lParam);
        ::PostMessageW(hWnd, WM_APP, 0, 0);
        return TRUE;
    }
    if (message == WM_APP)
    {
        // Once shown and painted: the photographer's turn, then the box closes.
        ::UpdateWindow(hWnd);
        ::CloseHandle(::CreateThread(
            nullptr, 0,
            [](LPVOID pv) WINAPI -> DWORD {
                HWND hDlg = static_cast<HWND>(pv);
                auto* pAbout = reinterpret_cast<AboutShow*>(::GetWindowLongPtrW(hDlg, DWLP_USER));
                pAbout->bPublished = Publish(hDlg, pAbout->strFile);
                ::PostMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
                return 0;
            },
            hWnd, 0, nullptr));
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK)
    {
        ::EndDialog(hWnd, IDOK);
        return TRUE;
    }
    return FALSE;
}
}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3)
    {
        fprintf(stderr, "usage: picture_stage <program> <folder>\n");
        return 2;
    }
    const std::wstring strFolder = argv[2];
    CProgram program;
    const std::wstring strError = program.Start(argv[1]);
    if (!strError.empty())
    {
        fwprintf(stderr, L"%ls\n", strError.c_str());
        return 1;
    }
    HWND hWndMain = program.WaitForMainWindow(L"Morvex Disabler by MorvexSoft", kTimeoutMs);
    if (hWndMain == nullptr || !Publish(hWndMain, strFolder + L"\\main.geometry"))
        return 1;

    ::PostMessageW(hWndMain, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    if (!program.WaitForExit(kTimeoutMs))
        return 1;

    HMODULE hProgram = ::LoadLibraryExW(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
    AboutShow show = { strFolder + L"\\about.geometry", false };
    ::DialogBoxParamW(hProgram, MAKEINTRESOURCEW(IDD_ABOUTBOX), nullptr, AboutProc, reinterpret_cast<LPARAM>(&show));
    return show.bPublished ? 0 : 1;
}
