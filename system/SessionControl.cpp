#include "system/SessionControl.h"

#include <wtsapi32.h>

#include "framework/atlsecurity.h"

namespace
{
// Nothing is reported: without the privilege the request that follows is refused, and that is.
void EnableShutdownPrivilege()
{
    CAccessToken token;
    if (token.GetProcessToken(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY))
        token.EnablePrivilege(SE_SHUTDOWN_NAME);
}

// DOMAIN\name of the user signed on to this process's session, as the token's user is named;
// empty when nobody is, or when it cannot be read. wtsapi32 is loaded from System32 when it is
// needed, as the program imports only what every start uses.
CString SessionUserName()
{
    using Query = BOOL(WINAPI*)(HANDLE, DWORD, WTS_INFO_CLASS, LPWSTR*, DWORD*);
    using Free = void(WINAPI*)(PVOID);
    const HMODULE hModule = ::LoadLibraryExW(L"wtsapi32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    const auto pfnQuery = hModule == nullptr ? nullptr
                                             : reinterpret_cast<Query>(reinterpret_cast<void (*)()>(
                                                   ::GetProcAddress(hModule, "WTSQuerySessionInformationW")));
    const auto pfnFree = hModule == nullptr ? nullptr
                                            : reinterpret_cast<Free>(reinterpret_cast<void (*)()>(
                                                  ::GetProcAddress(hModule, "WTSFreeMemory")));
    CString strName;
    if (pfnQuery != nullptr && pfnFree != nullptr)
    {
        LPWSTR pszDomain = nullptr, pszUser = nullptr;
        DWORD cb = 0;
        if (pfnQuery(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, WTSDomainName, &pszDomain, &cb) &&
            pfnQuery(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, WTSUserName, &pszUser, &cb) && *pszUser != L'\0')
            strName = CString(pszDomain) + L"\\" + pszUser;
        if (pszDomain != nullptr)
            pfnFree(pszDomain);
        if (pszUser != nullptr)
            pfnFree(pszUser);
    }
    if (hModule != nullptr)
        ::FreeLibrary(hModule);
    return strName;
}
}  // namespace

BOOL CSessionControl::ExitWindowsEx(UINT uFlags, DWORD dwReason)
{
    return ::ExitWindowsEx(uFlags, dwReason);
}

BOOL CSessionControl::InitiateSystemShutdownEx(DWORD dwReason)
{
    return ::InitiateSystemShutdownExW(nullptr, nullptr, 0, FALSE, TRUE, dwReason);
}

BOOL CSessionControl::IsOnInteractiveWindowStation() const
{
    // The process's station handle is not ours to close. When the flags cannot be read, nobody is
    // assumed to be there: waiting for no one is worse than not asking someone.
    USEROBJECTFLAGS flags = {};
    DWORD cbNeeded = 0;
    return ::GetUserObjectInformationW(::GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof(flags), &cbNeeded) &&
           (flags.dwFlags & WSF_VISIBLE) != 0;
}

BOOL CSessionControl::GetSessionId(DWORD* pdwSessionId) const
{
    return ::ProcessIdToSessionId(::GetCurrentProcessId(), pdwSessionId);
}

BOOL CSessionControl::RunsAsSessionUser() const
{
    CSid user;
    const CString strSessionUser = SessionUserName();
    return !strSessionUser.IsEmpty() && CAccessToken::GetProcessUser(&user) &&
           ::CompareStringOrdinal(user.AccountName(), -1, strSessionUser, -1, TRUE) == CSTR_EQUAL;
}

BOOL CSessionControl::IsUsersDesktop() const
{
    // A session that cannot be told is taken for no user's, as a station whose flags cannot be.
    DWORD dwSessionId = 0;
    return IsOnInteractiveWindowStation() && GetSessionId(&dwSessionId) && dwSessionId != 0;
}

BOOL CSessionControl::CanLogOff() const
{
    return IsUsersDesktop() && RunsAsSessionUser();
}

BOOL CSessionControl::CanRequest(BOOL bAllUsers) const
{
    return bAllUsers || CanLogOff();
}

BOOL CSessionControl::RequestRestartOrLogOff(BOOL bAllUsers)
{
    if (!CanRequest(bAllUsers))
        return FALSE;
    EnableShutdownPrivilege();
    const DWORD dwReason = SHTDN_REASON_MAJOR_OPERATINGSYSTEM | SHTDN_REASON_MINOR_RECONFIG | SHTDN_REASON_FLAG_PLANNED;
    if (bAllUsers)
        return InitiateSystemShutdownEx(dwReason);
    return ExitWindowsEx(EWX_LOGOFF, dwReason);
}

CSessionControl& CSessionControl::Real()
{
    static CSessionControl s_real;
    return s_real;
}
