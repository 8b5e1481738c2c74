// Restart and log-off requests behind one seam: the real request ends the session, so tests use a fake.
#pragma once

#include <windows.h>

class CSessionControl
{
public:
    virtual ~CSessionControl() = default;
    // ExitWindowsEx: nonzero when the system accepted the request.
    virtual BOOL ExitWindowsEx(UINT uFlags, DWORD dwReason);

    static CSessionControl& Real();
};

// Enables SeShutdownPrivilege in the process's own token. Nothing is reported: without the
// privilege, the restart request that follows is refused, and that is reported.
void EnableShutdownPrivilege();
