// A program with framework/entry.cpp's start-up, as the shipped one has, run under Wine. Next to a
// DLL planted in its folder, the DLL must not load by bare name, neither during static
// initialisation nor later, while DLLs of System32 still do. Its stack canary must be seeded
// before static initialisation, differ between starts, and a smashed stack must end the process.
// It prints what went wrong and exits nonzero.
#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <wchar.h>

extern "C" void* __stack_chk_guard;

namespace
{
const WCHAR s_szPlanted[] = L"dll_search_planted.dll";
const DWORD kStackBufferOverrun = 0xC0000409;

// Static initialisation runs after the start-up, so these see its work already done.
const bool s_bLoadedDuringStaticInit = ::LoadLibraryW(s_szPlanted) != nullptr;
const uintptr_t s_canaryAtStaticInit = reinterpret_cast<uintptr_t>(__stack_chk_guard);

int Fail(const char* pszWhat)
{
    printf("%s\n", pszWhat);
    return 1;
}

// Writes past a local buffer, as an exploited overflow would; the check on return must catch it.
__attribute__((noinline)) void Overflow(size_t cbWrite)
{
    char buffer[16];
    volatile char* p = buffer;
    for (size_t i = 0; i < cbWrite; ++i)
        p[i] = 'x';
}

DWORD RunSelf(const wchar_t* pszArgument)
{
    WCHAR szPath[MAX_PATH];
    ::GetModuleFileNameW(nullptr, szPath, MAX_PATH);
    WCHAR szCommand[MAX_PATH + 32];
    swprintf(szCommand, MAX_PATH + 32, L"\"%ls\" %ls", szPath, pszArgument);
    STARTUPINFOW si = { sizeof(si) };
    PROCESS_INFORMATION pi;
    if (!::CreateProcessW(szPath, szCommand, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return 0xFFFFFFFF;
    ::WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD dwExitCode = 0;
    ::GetExitCodeProcess(pi.hProcess, &dwExitCode);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return dwExitCode;
}

DWORD CanaryBits(uintptr_t canary)
{
    return static_cast<DWORD>(canary & 0x7FFFFFFF);
}
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR lpCmdLine, int)
{
    if (wcscmp(lpCmdLine, L"--canary") == 0)
        return static_cast<int>(CanaryBits(s_canaryAtStaticInit));
    if (wcscmp(lpCmdLine, L"--overflow") == 0)
    {
        Overflow(64);
        return 0;
    }

    if (s_bLoadedDuringStaticInit)
        return Fail("the planted DLL loaded during static initialisation");
    if (::LoadLibraryW(s_szPlanted) != nullptr)
        return Fail("the planted DLL loaded by bare name");
    if (::LoadLibraryW(L"version.dll") == nullptr)
        return Fail("a System32 DLL did not load");
    // Only now, as the check that the planted DLL is there and loadable at all.
    if (::LoadLibraryExW(s_szPlanted, nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR) == nullptr)
        return Fail("the planted DLL does not load even from the program's folder");

    if (s_canaryAtStaticInit == 0)
        return Fail("the stack canary was not seeded before static initialisation");
    if (RunSelf(L"--canary") == CanaryBits(s_canaryAtStaticInit))
        return Fail("two starts got the same stack canary");
    if (RunSelf(L"--overflow") != kStackBufferOverrun)
        return Fail("a smashed stack did not end the process");

    printf("only System32 is searched; the stack canary is seeded and checked\n");
    return 0;
}
