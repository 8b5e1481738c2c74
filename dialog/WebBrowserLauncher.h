// Starting the web browser behind one seam: whether the program runs elevated, and the two ways to start it.
#pragma once

#include <windows.h>

class CWebBrowserLauncher
{
public:
    virtual ~CWebBrowserLauncher() = default;
    // Whether the process's token is elevated; when that cannot be read, it counts as elevated.
    virtual BOOL IsElevated();
    // Asks the desktop's shell, which runs with the user's own token, to open the address
    // maximised: nonzero when the shell took the request.
    virtual BOOL OpenThroughDesktopShell(LPCWSTR pszAddress);
    // Opens the address maximised from this process, with its token.
    virtual void OpenFromThisProcess(LPCWSTR pszAddress);

    static CWebBrowserLauncher& Real();
};

// Opens the address in the user's browser without ever handing it an elevated token. FALSE when
// nothing was started: the program is elevated and no desktop shell could be asked, so the user
// has to open the address.
BOOL OpenWithUsersToken(CWebBrowserLauncher& launcher, LPCWSTR pszAddress);
