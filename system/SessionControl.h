// Restart and log-off requests behind one seam: the real request ends the session, so tests use a fake.
#pragma once

#include <windows.h>

class CSessionControl
{
public:
    virtual ~CSessionControl() = default;
    // ExitWindowsEx: nonzero when the system accepted the request.
    virtual BOOL ExitWindowsEx(UINT uFlags, DWORD dwReason);
    // InitiateSystemShutdownExW: a restart of this computer at once, without forcing programs
    // closed; nonzero when the system accepted it.
    virtual BOOL InitiateSystemShutdownEx(DWORD dwReason);
    // Whether the process runs on the window station a user sees, at the console or over Remote
    // Desktop; a service's or a deployment agent running as SYSTEM has one that nobody sees.
    virtual BOOL IsOnInteractiveWindowStation() const;
    // ProcessIdToSessionId for this process; FALSE when it cannot be read.
    virtual BOOL GetSessionId(DWORD* pdwSessionId) const;

    // A user's desktop: the interactive window station outside session 0. Session 0 has its own
    // WinSta0, flagged visible like a user's, where services and startup scripts run and no user
    // has signed on since Windows Vista: a box there is seen by nobody, and ExitWindowsEx from there
    // may report success and restart nothing.
    BOOL IsUsersDesktop() const;

    // FALSE when the request of this scope cannot be carried out from here: a log-off acts on the
    // session the process runs in, which outside a user's desktop is not a user's.
    BOOL CanRequest(BOOL bAllUsers) const;

    // Enables the shutdown privilege and asks for the restart (machine-wide scope) or the log-off
    // (the user's scope) that applies a stored layout. Windows logs it as a planned reconfiguration,
    // so that no one is asked afterwards why the machine went down. Nonzero when accepted.
    BOOL RequestRestartOrLogOff(BOOL bAllUsers);

    static CSessionControl& Real();
};
