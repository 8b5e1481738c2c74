// Puts the program's dialogs on the screen one after the other for tools/pictures.sh to photograph.
//
//   picture_stage.exe <program> <folder>
//
// Opens the main dialog and writes <folder>\main.geometry, then the About box and
// <folder>\about.geometry, each as the window's crop geometry "WxH+X+Y" in screen pixels. After
// each it waits for the photographer to delete the file. Exits 0 once both dialogs are closed.
#include <windows.h>

#include <stdio.h>

#include "Desktop.h"

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

    ::PostMessageW(hWndMain, WM_SYSCOMMAND, 0x0010, 0);
    HWND hWndAbout = program.WaitForOwnedDialog(hWndMain, kTimeoutMs);
    if (hWndAbout == nullptr || !Publish(hWndAbout, strFolder + L"\\about.geometry"))
        return 1;

    ::PostMessageW(hWndAbout, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    WaitUntil([&] { return !::IsWindow(hWndAbout); }, kTimeoutMs);
    ::PostMessageW(hWndMain, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return program.WaitForExit(kTimeoutMs) ? 0 : 1;
}
