// The system's own words for an error code, which both faces put after their own.
#pragma once

#include "framework/afxstr.h"

// The system's own text for an error code, without its line break; the code itself when the system
// has none.
CString SystemErrorText(DWORD dwError);
