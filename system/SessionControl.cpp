#include "system/SessionControl.h"

#include "framework/atlsecurity.h"
#include "system/ScopeTexts.h"

namespace
{
// Nothing is reported: without the privilege the request that follows is refused, and that is.
void EnableShutdownPrivilege()
{
    CAccessToken token;
    if (token.GetProcessToken(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY))
        token.EnablePrivilege(SE_SHUTDOWN_NAME);
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

BOOL CSessionControl::IsUsersDesktop() const
{
    // A session that cannot be told is taken for no user's, as a station whose flags cannot be.
    DWORD dwSessionId = 0;
    return IsOnInteractiveWindowStation() && GetSessionId(&dwSessionId) && dwSessionId != 0;
}

BOOL CSessionControl::CanRequest(BOOL bAllUsers) const
{
    return bAllUsers || IsUsersDesktop();
}

BOOL CSessionControl::RequestRestartOrLogOff(BOOL bAllUsers)
{
    if (!CanRequest(bAllUsers))
        return FALSE;
    EnableShutdownPrivilege();
    const DWORD dwReason = SHTDN_REASON_MAJOR_OPERATINGSYSTEM | SHTDN_REASON_MINOR_RECONFIG | SHTDN_REASON_FLAG_PLANNED;
    // ExitWindowsEx acts on the caller's logon session: called by anyone but the interactive user,
    // it may report success and restart nothing.
    if (IsUsersDesktop())
        return ExitWindowsEx(ScopeTexts::For(bAllUsers).uExitFlags, dwReason);
    return InitiateSystemShutdownEx(dwReason);
}

CSessionControl& CSessionControl::Real()
{
    static CSessionControl s_real;
    return s_real;
}
