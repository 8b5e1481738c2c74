// A program with framework/entry.cpp's DLL search guard, as the shipped one has, run under Wine next
// to a DLL planted in its folder: the DLL must not load by bare name, neither during static
// initialisation nor later, while DLLs of System32 still do. It prints what went wrong and exits
// nonzero.
#include <windows.h>

#include <stdio.h>

namespace
{
const WCHAR s_szPlanted[] = L"dll_search_planted.dll";

// Static initialisation runs after the guard, so this must already fail.
const bool s_bLoadedDuringStaticInit = ::LoadLibraryW(s_szPlanted) != nullptr;

int Fail(const char* pszWhat)
{
    printf("%s\n", pszWhat);
    return 1;
}
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    if (s_bLoadedDuringStaticInit)
        return Fail("the planted DLL loaded during static initialisation");
    if (::LoadLibraryW(s_szPlanted) != nullptr)
        return Fail("the planted DLL loaded by bare name");
    if (::LoadLibraryW(L"version.dll") == nullptr)
        return Fail("a System32 DLL did not load");
    // Only now, as the check that the planted DLL is there and loadable at all.
    if (::LoadLibraryExW(s_szPlanted, nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR) == nullptr)
        return Fail("the planted DLL does not load even from the program's folder");
    printf("only System32 is searched\n");
    return 0;
}
