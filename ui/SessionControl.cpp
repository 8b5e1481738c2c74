#include "ui/SessionControl.h"

#include "framework/atlsecurity.h"
#include "ui/Messages.h"

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

BOOL CSessionControl::RequestRestartOrLogOff(BOOL bAllUsers)
{
    EnableShutdownPrivilege();
    return ExitWindowsEx(ScopeTexts::For(bAllUsers).uExitFlags,
                         SHTDN_REASON_MAJOR_OPERATINGSYSTEM | SHTDN_REASON_MINOR_RECONFIG | SHTDN_REASON_FLAG_PLANNED);
}

CSessionControl& CSessionControl::Real()
{
    static CSessionControl s_real;
    return s_real;
}

