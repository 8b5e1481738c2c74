// The registry as an administrator sees and changes it: through the system's reg.exe, nothing else.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "Desktop.h"

// Runs reg.exe with these arguments and waits for it.
RunResult RunReg(const std::vector<std::wstring>& args);

// A value's data as reg query prints it (binary as upper-case hex, a DWORD as 0x...), or nothing
// when the value is not there.
std::optional<std::wstring> QueryValue(const std::wstring& strKey, const std::wstring& strValue);
std::optional<std::wstring> QueryDefaultValue(const std::wstring& strKey);

// Each fails the test when reg.exe reports failure.
void AddBinary(const std::wstring& strKey, const std::wstring& strValue, const std::wstring& strHex);
void AddDword(const std::wstring& strKey, const std::wstring& strValue, DWORD dwData);
void AddDefaultString(const std::wstring& strKey, const std::wstring& strData);
// These succeed whether or not the value or key was there.
void DeleteValue(const std::wstring& strKey, const std::wstring& strValue);
void DeleteKey(const std::wstring& strKey);

// Hex digits with the spaces that group them for reading taken out.
std::wstring Hex(const std::wstring& strGrouped);

// The places the tests look at.
extern const WCHAR g_szMachineLayout[];   // the all-users layout key
extern const WCHAR g_szUserLayout[];      // the current user's layout key
extern const WCHAR g_szScancodeMap[];
extern const WCHAR g_szProgramSettings[]; // the program's own stored settings
extern const WCHAR g_szProgramVendor[];   // its vendor's key, removed whole to start afresh
extern const WCHAR g_szScopeSetting[];

// No stored layout in either scope and no stored settings of the program.
void ForgetEverything();
