// Restart and log-off requests behind one seam: the real request ends the session, so tests use a fake.
#pragma once

#include <windows.h>

class CSessionControl
{
public:
    virtual ~CSessionControl() = default;
    // ExitWindowsEx: nonzero when the system accepted the request.
    virtual BOOL ExitWindowsEx(UINT uFlags, DWORD dwReason);

    // Enables the shutdown privilege and asks for the restart (machine-wide scope) or the log-off
    // (the user's scope) that applies a stored layout. Windows logs it as a planned reconfiguration,
    // so that no one is asked afterwards why the machine went down. Nonzero when accepted.
    BOOL RequestRestartOrLogOff(BOOL bAllUsers);

    static CSessionControl& Real();
};
