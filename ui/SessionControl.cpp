#include "ui/SessionControl.h"

#include "ui/TokenHandle.h"

BOOL CSessionControl::ExitWindowsEx(UINT uFlags, DWORD dwReason)
{
    return ::ExitWindowsEx(uFlags, dwReason);
}

CSessionControl& CSessionControl::Real()
{
    static CSessionControl s_real;
    return s_real;
}

void EnableShutdownPrivilege()
{
    CTokenHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token.m_hToken))
        token.m_hToken = nullptr;
    TOKEN_PRIVILEGES privileges = {};
    ::LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid);
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    ::AdjustTokenPrivileges(token.m_hToken, FALSE, &privileges, 0, nullptr, nullptr);
}
