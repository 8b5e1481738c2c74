// The program's first code: a TLS callback that confines DLL loading to System32.
//
// The loader calls an image's TLS callbacks before its entry point, and this one is the first of
// them, so it runs before the C run-time's start-up and before any static constructor: libssp's
// constructor, which seeds the stack canary, already loads a cryptographic provider DLL, and no
// DLL may come from the program's own folder (a download folder, say) from the first load on.
// The DLLs the program imports are Windows' own, resolved by the loader before any code runs.
// A callback needs no linker option, unlike an entry point of our own, so nothing that copies
// the program's link options can inherit an entry it lacks.
#include <windows.h>

namespace
{
typedef BOOL(WINAPI* SetDefaultDllDirectoriesFn)(DWORD);

void RestrictDllSearch()
{
    // Looked up rather than imported: Windows 7 has the call only with update KB2533623, and a
    // missing import would keep the program from starting at all.
    const auto pfnSetDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void (*)()>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (pfnSetDefaultDllDirectories == nullptr || !pfnSetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32))
    {
        // Without it, at least the current folder leaves the search order.
        ::SetDllDirectoryW(L"");
    }
}
}  // namespace

extern "C" void NTAPI MorvexTlsStartup(PVOID, DWORD dwReason, PVOID)
{
    if (dwReason == DLL_PROCESS_ATTACH)
        RestrictDllSearch();
}

namespace
{
// The run-time's TLS directory lists the callbacks between its markers in .CRT$XLA and .CRT$XLZ,
// sorted by section name; its own start at .CRT$XLC, so this one comes first.
__attribute__((section(".CRT$XLB"), used)) PIMAGE_TLS_CALLBACK s_pfnTlsStartup = MorvexTlsStartup;
}  // namespace
