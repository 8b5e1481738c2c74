// The texts the program shows about the stored layout and the restart, in the dialog and on the command line.
#pragma once

#include <windows.h>

#include "layout/LayoutStore.h"

// A save that failed, by the step that failed.
extern const WCHAR g_szOpenFailed[];
extern const WCHAR g_szDeleteFailed[];
extern const WCHAR g_szWriteFailed[];
// The message of a save that failed; null for one that worked.
LPCWSTR SaveFailureText(CLayoutStore::SaveResult result);

// What the restart or the log-off of a scope asks and reports, and how it is requested.
struct ScopeTexts
{
    LPCWSTR pszQuestion;
    LPCWSTR pszRequestFailed;
    UINT uExitFlags;

    static const ScopeTexts& For(BOOL bAllUsers);
};
