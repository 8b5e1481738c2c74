// The dialog's messages about an edit of the stored layout that failed.
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
// A change that would leave nobody a Ctrl+Alt+Del.
extern const WCHAR g_szCtrlAltDelLost[];
// The dialog's message of an edit of the stored layout that failed.
CString EditFailureText(const LayoutEdit& edit);

