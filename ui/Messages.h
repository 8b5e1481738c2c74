// The texts the program shows about the stored layout and the restart, in the dialog and on the command line.
#pragma once

#include <windows.h>

#include "layout/LayoutStore.h"

// A save that failed, by the step that failed.
extern const WCHAR g_szOpenFailed[];
extern const WCHAR g_szDeleteFailed[];
extern const WCHAR g_szWriteFailed[];
// An edit that wrote nothing: the value could not be read, or another copy kept it too long.
extern const WCHAR g_szReadFailed[];
extern const WCHAR g_szLayoutBusy[];
extern const WCHAR g_szLockFailed[];
extern const WCHAR g_szLockSquatted[];
// The dialog's message of an edit of the stored layout that failed.
CString EditFailureText(const LayoutEdit& edit);
// Who holds the name of the copies' turns, when neither SYSTEM nor an administrator does.
CString LockSquattedText(const LayoutEdit& edit);

// The system's own text for an error code, without its line break; the code itself when the system
// has none.
CString SystemErrorText(DWORD dwError);

// What the restart or the log-off of a scope asks and reports, and how it is requested.
struct ScopeTexts
{
    LPCWSTR pszQuestion;
    LPCWSTR pszRequestFailed;
    UINT uExitFlags;

    static const ScopeTexts& For(BOOL bAllUsers);
};
