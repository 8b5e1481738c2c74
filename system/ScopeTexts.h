// What the restart or the log-off of each scope asks, reports and requests, for both faces and the session seam.
#pragma once

#include <windows.h>

// What the restart or the log-off of a scope asks and reports, and how it is requested.
struct ScopeTexts
{
    LPCWSTR pszQuestion;
    LPCWSTR pszRequestFailed;
    UINT uExitFlags;

    static const ScopeTexts& For(BOOL bAllUsers);
};
