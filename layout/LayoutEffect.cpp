#include "layout/LayoutEffect.h"

#include "framework/atlsecurity.h"
#include "layout/LayoutStore.h"

namespace
{
const WCHAR s_szRestartPendingParent[] = L"SOFTWARE\\MorvexSoft\\MorvexDisabler";
const WCHAR s_szRestartPending[] = L"SOFTWARE\\MorvexSoft\\MorvexDisabler\\RestartPending";
const WCHAR* const s_pszRestartPendingName = s_szRestartPending + ARRAYSIZE(s_szRestartPendingParent);

ULONGLONG Ticks(const FILETIME& ft)
{
    return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

// Both programs, the x86 one too, must find the one key: HKEY_LOCAL_MACHINE\SOFTWARE is redirected
// for 32-bit programs on 64-bit Windows. 32-bit Windows ignores the flag.
const REGSAM kBothViews = KEY_WOW64_64KEY;

// Whether a key is volatile, and so made since Windows started. One of the program's name that is
// not (a reg export imported again, a backup restored, another tool's) outlived a restart and
// tells nothing. Windows refuses a volatile key an ordinary child; an ordinary key takes one, which
// goes again at once.
BOOL IsVolatile(CRegistryApi& registry, HKEY hKey)
{
    const WCHAR szProbe[] = L"VolatileProbe";
    CRegKey probe(registry);
    const LSTATUS status = probe.Create(hKey, szProbe, KEY_READ, REG_OPTION_NON_VOLATILE);
    probe.Close();
    if (status == ERROR_SUCCESS)
        registry.DeleteTree(hKey, szProbe);
    return status == ERROR_CHILD_MUST_BE_VOLATILE;
}
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
    // opened, or shown volatile, counts as none: the times then decide, as they did before the
    // program made one. Only administrators may tell: the check needs the right to make a child.
    if (bAllUsers)
    {
        CRegKey pending(registry);
        result.bRestartPending =
            pending.Open(HKEY_LOCAL_MACHINE, s_szRestartPending, KEY_READ | KEY_CREATE_SUB_KEY | kBothViews) == ERROR_SUCCESS &&
            IsVolatile(registry, pending.m_hKey);
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
    // standard user can have made it, or the volatile key, first; made here, it is theirs alone.
    CSecurityAttributes adminsOnly(L"D:P(A;OICI;KA;;;SY)(A;OICI;KA;;;BA)");
    CRegKey parent(registry);
    LSTATUS status = parent.Create(HKEY_LOCAL_MACHINE, s_szRestartPendingParent,
                                   KEY_CREATE_SUB_KEY | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | DELETE | kBothViews,
                                   REG_OPTION_NON_VOLATILE, &adminsOnly);
    if (status != ERROR_SUCCESS)
        return status;
    // Creating a key that exists opens it as it is: an ordinary one of the name goes first.
    CRegKey pending(registry);
    status = pending.Open(parent.m_hKey, s_pszRestartPendingName, KEY_READ | KEY_CREATE_SUB_KEY);
    if (status == ERROR_SUCCESS && IsVolatile(registry, pending.m_hKey))
        return ERROR_SUCCESS;
    pending.Close();
    if (status == ERROR_SUCCESS && (status = registry.DeleteTree(parent.m_hKey, s_pszRestartPendingName)) != ERROR_SUCCESS)
        return status;
    return pending.Create(parent.m_hKey, s_pszRestartPendingName, KEY_READ, REG_OPTION_VOLATILE);
}
