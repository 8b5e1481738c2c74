// Stands in for a system command that a recipe calls and a test must not run (shutdown, eventcreate):
// appends its own name and its arguments, as the command line gave them, to calls.txt beside itself.
#include <windows.h>

#include <stdio.h>
#include <wchar.h>

int wmain()
{
    WCHAR szPath[MAX_PATH];
    const DWORD cchPath = ::GetModuleFileNameW(nullptr, szPath, MAX_PATH);
    if (cchPath == 0 || cchPath == MAX_PATH)
        return 1;
    WCHAR* pszName = wcsrchr(szPath, L'\\') + 1;
    WCHAR szName[MAX_PATH];
    wcscpy(szName, pszName);
    if (WCHAR* pszDot = wcsrchr(szName, L'.'))
        *pszDot = L'\0';
    wcscpy(pszName, L"calls.txt");

    // The arguments as they follow the program's own name, quoted or not.
    const WCHAR* pszArgs = ::GetCommandLineW();
    const WCHAR chEnd = *pszArgs == L'"' ? L'"' : L' ';
    for (pszArgs += *pszArgs == L'"'; *pszArgs != L'\0' && *pszArgs != chEnd; ++pszArgs)
    {
    }
    pszArgs += *pszArgs == L'"';
    while (*pszArgs == L' ')
        ++pszArgs;

    FILE* pFile = _wfopen(szPath, L"a, ccs=UTF-8");
    if (pFile == nullptr)
        return 1;
    fwprintf(pFile, L"%ls %ls\n", szName, pszArgs);
    fclose(pFile);
    return 0;
}
