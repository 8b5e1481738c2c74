#include "TestProcess.h"

#include <gtest/gtest.h>

#include <vector>

bool PrivilegeEnabled(LPCWSTR pszName)
{
    LUID luid = {};
    HANDLE hToken = nullptr;
    if (!::LookupPrivilegeValueW(nullptr, pszName, &luid) || !::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &hToken))
    {
        ADD_FAILURE() << "cannot read the process token";
        return false;
    }
    DWORD cb = 0;
    ::GetTokenInformation(hToken, TokenPrivileges, nullptr, 0, &cb);
    std::vector<BYTE> buffer(cb);
    const BOOL bRead = ::GetTokenInformation(hToken, TokenPrivileges, buffer.data(), cb, &cb);
    ::CloseHandle(hToken);
    if (!bRead)
        return false;

    const auto* pPrivileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
    for (DWORD i = 0; i < pPrivileges->PrivilegeCount; ++i)
    {
        const LUID_AND_ATTRIBUTES& privilege = pPrivileges->Privileges[i];
        if (privilege.Luid.LowPart == luid.LowPart && privilege.Luid.HighPart == luid.HighPart)
            return (privilege.Attributes & SE_PRIVILEGE_ENABLED) != 0;
    }
    return false;
}

void SetPrivilegeEnabled(LPCWSTR pszName, bool bEnabled)
{
    HANDLE hToken = nullptr;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &hToken));
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    ::LookupPrivilegeValueW(nullptr, pszName, &privileges.Privileges[0].Luid);
    privileges.Privileges[0].Attributes = bEnabled ? SE_PRIVILEGE_ENABLED : 0;
    ::AdjustTokenPrivileges(hToken, FALSE, &privileges, 0, nullptr, nullptr);
    const DWORD dwError = ::GetLastError();
    ::CloseHandle(hToken);
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), dwError) << "the token lacks the privilege";
}

std::wstring ModuleFolder()
{
    WCHAR szPath[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, szPath, MAX_PATH);
    const std::wstring strPath = szPath;
    return strPath.substr(0, strPath.find_last_of(L'\\'));
}
