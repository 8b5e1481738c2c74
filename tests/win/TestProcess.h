// The test process's own token and folder, as the dialog finds them.
#pragma once

#include <windows.h>

#include <string>

// Whether the privilege is in the process's token and enabled.
bool PrivilegeEnabled(LPCWSTR pszName);
void SetPrivilegeEnabled(LPCWSTR pszName, bool bEnabled);

// The folder of win_tests.exe, where its helper programs are built too.
std::wstring ModuleFolder();
