// The texts the program shows about the stored layout and the restart, and text from outside made safe to show.
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
// The dialog's message of an edit of the stored layout that failed.
CString EditFailureText(const LayoutEdit& edit);

// The system's own text for an error code, without its line break; the code itself when the system
// has none.
CString SystemErrorText(DWORD dwError);

// A text from outside the program (an argument, a file name, an account) as an error or a log line
// may show it: every control character (C0, DEL, C1, the line and paragraph separators) and every
// bidirectional embedding, override and isolate is U+FFFD. It can then neither break a line, nor
// steer a terminal with an escape sequence, nor show the rest of its line reversed.
CString ShownText(LPCWSTR pszText);

// What the restart or the log-off of a scope asks and reports, and how it is requested.
struct ScopeTexts
{
    LPCWSTR pszQuestion;
    LPCWSTR pszRequestFailed;
    UINT uExitFlags;

    static const ScopeTexts& For(BOOL bAllUsers);
};
