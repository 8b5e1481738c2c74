#include "layout/LayoutEffect.h"

#include "layout/LayoutStore.h"

namespace
{
const WCHAR s_szRestartPendingParent[] = L"SOFTWARE\\MorvexSoft\\MorvexDisabler";
const WCHAR s_szRestartPending[] = L"SOFTWARE\\MorvexSoft\\MorvexDisabler\\RestartPending";

ULONGLONG Ticks(const FILETIME& ft)
{
    return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

// Both programs, the x86 one too, must find the one key: HKEY_LOCAL_MACHINE\SOFTWARE is redirected
// for 32-bit programs on 64-bit Windows. 32-bit Windows ignores the flag.
const REGSAM kBothViews = KEY_WOW64_64KEY;
}  // namespace

LayoutEffect CLayoutEffect::Decide(const FILETIME* pftStored, const FILETIME& ftStarted, const FILETIME& ftNow)
{
    // A time ahead of now was written while the clock was fast, or the clock was set back since:
    // it says nothing about the start, and "not yet" on it would ask for restart after restart.
    if (pftStored == nullptr || Ticks(*pftStored) > Ticks(ftNow))
        return LayoutEffect::Unknown;
    // The key's time stands for the value's: any later write to the key, a deletion included, may
    // have changed it, so only a key untouched since the start is known to be what was read then.
    return Ticks(*pftStored) < Ticks(ftStarted) ? LayoutEffect::InEffect : LayoutEffect::AfterRestart;
}

LayoutEffect CLayoutEffect::InScope(LayoutEffect effect, BOOL bAllUsers)
{
    // Nothing stored waits for nothing, in either scope.
    return bAllUsers || effect == LayoutEffect::NothingStored ? effect : LayoutEffect::NotApplied;
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
    const LSTATUS opened = key.Open(scope.hRoot, scope.pszPath, KEY_READ);
    result.bStoredKnown = opened == ERROR_SUCCESS && key.QueryLastWriteTime(result.ftStored) == ERROR_SUCCESS;
    if (!result.bStoredKnown)
        result.ftStored = FILETIME{};
    // Read after the key's time, which a write just now cannot then pass.
    FILETIME ftNow;
    ::GetSystemTimeAsFileTime(&ftNow);

    // Only the all-users value has an effect, so only its writes make the key. One that cannot be
    // opened counts as none: the times then decide, as they did before the program made one.
    if (bAllUsers)
    {
        CRegKey pending(registry);
        result.bRestartPending = pending.Open(HKEY_LOCAL_MACHINE, s_szRestartPending, KEY_READ | kBothViews) == ERROR_SUCCESS;
    }
    LayoutEffect effect = Decide(result.bStoredKnown ? &result.ftStored : nullptr, result.ftStarted, ftNow);
    if (result.bRestartPending)
        effect = LayoutEffect::AfterRestart;
    else if (opened == ERROR_FILE_NOT_FOUND)
        effect = LayoutEffect::NothingStored;
    result.effect = InScope(effect, bAllUsers);
    return result;
}

LSTATUS CLayoutEffect::MarkRestartPending(CRegistryApi& registry)
{
    // The parent is an ordinary key, made when missing: a volatile key may live under it, and
    // RegCreateKeyEx would give every missing key of one path the options of the last. It lies
    // under HKEY_LOCAL_MACHINE\SOFTWARE, where only administrators and SYSTEM may make keys, so no
    // standard user can have made it, or the volatile key, first.
    CRegKey parent(registry);
    const LSTATUS status = parent.Create(HKEY_LOCAL_MACHINE, s_szRestartPendingParent, KEY_CREATE_SUB_KEY | kBothViews);
    if (status != ERROR_SUCCESS)
        return status;
    CRegKey pending(registry);
    return pending.Create(parent.m_hKey, s_szRestartPending + ARRAYSIZE(s_szRestartPendingParent), KEY_READ, REG_OPTION_VOLATILE);
}
