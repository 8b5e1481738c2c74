#include "layout/LayoutEffect.h"

#include "layout/LayoutStore.h"

namespace
{
ULONGLONG Ticks(const FILETIME& ft)
{
    return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}
}  // namespace

LayoutEffect CLayoutEffect::Decide(const FILETIME* pftStored, const FILETIME& ftStarted)
{
    if (pftStored == nullptr)
        return LayoutEffect::Unknown;
    // The key's time stands for the value's: any later write to the key, a deletion included, may
    // have changed it, so only a key untouched since the start is known to be what was read then.
    return Ticks(*pftStored) < Ticks(ftStarted) ? LayoutEffect::InEffect : LayoutEffect::AfterRestart;
}

LayoutEffect CLayoutEffect::InScope(LayoutEffect effect, BOOL bAllUsers)
{
    return bAllUsers ? effect : LayoutEffect::NotApplied;
}

FILETIME CLayoutEffect::WindowsStarted()
{
    FILETIME ftNow;
    ::GetSystemTimeAsFileTime(&ftNow);
    // GetTickCount64 counts milliseconds; a FILETIME, 100-nanosecond steps.
    const ULONGLONG nStarted = Ticks(ftNow) - ::GetTickCount64() * 10000;
    FILETIME ftStarted;
    ftStarted.dwLowDateTime = static_cast<DWORD>(nStarted);
    ftStarted.dwHighDateTime = static_cast<DWORD>(nStarted >> 32);
    return ftStarted;
}

CLayoutEffect CLayoutEffect::Read(CRegistryApi& registry, BOOL bAllUsers)
{
    CLayoutEffect result;
    result.ftStarted = WindowsStarted();

    const CLayoutScope scope = CLayoutScope::For(bAllUsers);
    CRegKey key(registry);
    result.bStoredKnown = key.Open(scope.hRoot, scope.pszPath, KEY_READ) == ERROR_SUCCESS &&
                          key.QueryLastWriteTime(result.ftStored) == ERROR_SUCCESS;
    if (!result.bStoredKnown)
        result.ftStored = FILETIME{};
    result.effect = InScope(Decide(result.bStoredKnown ? &result.ftStored : nullptr, result.ftStarted), bAllUsers);
    return result;
}
