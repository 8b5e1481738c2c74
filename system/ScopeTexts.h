// What the restart or the log-off of each scope asks, reports and requests, for both faces and the session seam.
#pragma once

#include <windows.h>

// What the restart or the log-off of a scope asks and reports, and how it is requested.
struct ScopeTexts
{
    LPCWSTR pszQuestion;
    LPCWSTR pszRequestFailed;
    // What the dialog says instead of the question when the request cannot reach the signed-on
    // user (see CSessionControl::CanRequest); null where it always can.
    LPCWSTR pszCannotRequest;

    static const ScopeTexts& For(BOOL bAllUsers);
};
