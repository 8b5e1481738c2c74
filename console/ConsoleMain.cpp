// The console program's entry: the wide console entry point hands everything to the framework, as the windowed one does.
#include "framework/afxwin.h"

extern "C" int wmain(int, wchar_t**)
{
    // The C run-time has split the arguments into __wargv already, where the application reads them.
    return AfxWinMain(::GetModuleHandleW(nullptr), nullptr, ::GetCommandLineW(), SW_SHOWDEFAULT);
}
