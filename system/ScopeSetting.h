// The program's one setting, which scope its edits act on, as both programs read it from the profile.
#pragma once

#include <windows.h>

#include "framework/afxstr.h"

// Nonzero for all users, zero for the current user; bDefault when nothing is stored. The profile is
// the application's (its registry key under HKEY_CURRENT_USER\Software\MorvexSoft), so the dialog
// and the console program, which bear the same application name, work in the same scope.
BOOL StoredScopeSetting(BOOL bDefault = TRUE);
void StoreScopeSetting(BOOL bAllUsers);
// Where the setting is stored, as reg.exe names it (HKCU\Software\...\Settings), and the entry's
// name: what an administrator is told to change.
CString ScopeSettingKey();
LPCWSTR ScopeSettingEntry();
