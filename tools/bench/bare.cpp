// The baseline the start-up bench holds the program to: the same main dialog template and nothing else.
#include <windows.h>

#include "res/resource.h"

namespace {

// Only what a modal dialog needs to open and to close again: no initialisation, no centring.
INT_PTR CALLBACK BareDialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        ::EndDialog(hWnd, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

} // namespace

extern "C" int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR, int)
{
    return static_cast<int>(::DialogBoxParamW(hInstance, MAKEINTRESOURCEW(IDD_MORVEXDISABLER_DIALOG),
                                              nullptr, BareDialogProc, 0));
}
