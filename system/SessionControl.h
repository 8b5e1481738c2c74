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
    // Whether the process runs as the user signed on to its session. An administrator's
    // credentials typed over a standard user's shoulder (the usual way a standard user runs the
    // dialog), or SYSTEM started in a user's session, run as another account. FALSE too when
    // either account cannot be read.
    virtual BOOL RunsAsSessionUser() const;

    // A user's desktop: the interactive window station outside session 0. Session 0 has its own
    // WinSta0, flagged visible like a user's, where services and startup scripts run and no user
    // has signed on since Windows Vista: a box there is seen by nobody.
    BOOL IsUsersDesktop() const;

    // ExitWindowsEx logs off the caller's logon session, and reports success whoever that is: a
    // log-off reaches the signed-on user only from that user's desktop, run as that user.
    BOOL CanLogOff() const;

    // FALSE when the request of this scope cannot be carried out from here: a log-off that would
    // not reach the signed-on user. A restart can always be asked for.
    BOOL CanRequest(BOOL bAllUsers) const;

    // Enables the shutdown privilege and asks for the restart (machine-wide scope) or the log-off
    // (the user's scope) that applies a stored layout. The restart goes through
    // InitiateSystemShutdownEx, which restarts the computer whoever asks: ExitWindowsEx would end
    // only the caller's logon session, and report success. Windows logs it as a planned
    // reconfiguration, so that no one is asked afterwards why the machine went down. Nonzero when
    // accepted.
    BOOL RequestRestartOrLogOff(BOOL bAllUsers);

    static CSessionControl& Real();
};
