// The program's first code: a TLS callback that confines DLL loading to System32 and seeds the stack canary.
//
// The loader calls an image's TLS callbacks before its entry point, and this one is the first of
// them, so it runs before the C run-time's start-up and before any static constructor: no DLL may
// come from the program's own folder (a download folder, say) from the first load on, and the
// canary must be set before the first protected function returns.
// The DLLs the program imports are Windows' own, resolved by the loader before any code runs.
// A callback needs no linker option, unlike an entry point of our own, so nothing that copies
// the program's link options can inherit an entry it lacks.
#include <windows.h>

#include <stdint.h>

extern "C"
{
// The stack protector's canary and its failure routine, which the compiler's checks refer to.
// They are defined here rather than taken from libssp, whose start-up seeds the canary through a
// cryptographic provider: three DLLs and a sixth of the program's start-up time.
void* __stack_chk_guard = nullptr;

[[noreturn]] void __stack_chk_fail(void)
{
    // A smashed stack: nothing of the process can be trusted any more, so it ends at once.
    const UINT kStackBufferOverrun = 0xC0000409;
    ::TerminateProcess(::GetCurrentProcess(), kStackBufferOverrun);
    __builtin_trap();
}

// Checked buffer functions report here; defined too, so that libssp's own start-up never links in.
[[noreturn]] void __chk_fail(void)
{
    __stack_chk_fail();
}
}

namespace
{
typedef BOOL(WINAPI* SetDefaultDllDirectoriesFn)(DWORD);

// The mix Windows compilers have long used for their stack cookies: values that differ between
// processes and starts (counters, times, ids) and addresses that ASLR moves. Not cryptographic,
// but unknown to an attacker who cannot read the process's memory. Unprotected itself: it changes
// the canary its own frame would be checked against.
__attribute__((no_stack_protector)) void SeedStackCanary()
{
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    FILETIME time;
    ::GetSystemTimeAsFileTime(&time);
    uint64_t seed = static_cast<uint64_t>(counter.QuadPart);
    seed ^= (static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime) * 0x9E3779B97F4A7C15ull;
    seed ^= static_cast<uint64_t>(::GetCurrentProcessId()) << 32 ^ ::GetCurrentThreadId();
    seed ^= ::GetTickCount64() << 16;
    seed ^= reinterpret_cast<uintptr_t>(&seed) * 0xBF58476D1CE4E5B9ull;
    seed ^= reinterpret_cast<uintptr_t>(&__stack_chk_guard) << 7;
    // A final scramble, so that every bit of the seed reaches every bit of the canary.
    seed ^= seed >> 31;
    seed *= 0x94D049BB133111EBull;
    seed ^= seed >> 29;
    uintptr_t canary = static_cast<uintptr_t>(seed ^ seed >> 32);
    if (canary == 0)
        canary = static_cast<uintptr_t>(0x2F8B6A5Dull);
    __stack_chk_guard = reinterpret_cast<void*>(canary);
}

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

extern "C" __attribute__((no_stack_protector)) void NTAPI MorvexTlsStartup(PVOID, DWORD dwReason, PVOID)
{
    if (dwReason == DLL_PROCESS_ATTACH)
    {
        SeedStackCanary();
        RestrictDllSearch();
    }
}

namespace
{
// The run-time's TLS directory lists the callbacks between its markers in .CRT$XLA and .CRT$XLZ,
// sorted by section name; its own start at .CRT$XLC, so this one comes first.
__attribute__((section(".CRT$XLB"), used)) PIMAGE_TLS_CALLBACK s_pfnTlsStartup = MorvexTlsStartup;
}  // namespace
