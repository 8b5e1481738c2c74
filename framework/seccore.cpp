#include "atlsecurity.h"

#include <sddl.h>

BOOL CAccessToken::GetProcessToken(DWORD dwDesiredAccess)
{
    Clear();
    if (::OpenProcessToken(::GetCurrentProcess(), dwDesiredAccess, &m_hToken))
        return TRUE;
    m_hToken = nullptr;
    return FALSE;
}

BOOL CAccessToken::EnablePrivilege(LPCWSTR pszPrivilege, TOKEN_PRIVILEGES* pPreviousState)
{
    TOKEN_PRIVILEGES privileges = {};
    if (!::LookupPrivilegeValueW(nullptr, pszPrivilege, &privileges.Privileges[0].Luid))
        return FALSE;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    DWORD cbPrevious = 0;
    // AdjustTokenPrivileges succeeds also when the token lacks the privilege: only the last error tells.
    if (!::AdjustTokenPrivileges(m_hToken, FALSE, &privileges, pPreviousState != nullptr ? sizeof(*pPreviousState) : 0,
                                 pPreviousState, pPreviousState != nullptr ? &cbPrevious : nullptr))
        return FALSE;
    return ::GetLastError() == ERROR_SUCCESS;
}

BOOL CAccessToken::RestorePrivileges(const TOKEN_PRIVILEGES& previousState)
{
    // The previous state lists only what the enabling changed: nothing to undo when it is empty.
    if (previousState.PrivilegeCount == 0)
        return TRUE;
    return ::AdjustTokenPrivileges(m_hToken, FALSE, const_cast<TOKEN_PRIVILEGES*>(&previousState), 0, nullptr, nullptr);
}

void CAccessToken::Clear()
{
    if (m_hToken != nullptr)
        ::CloseHandle(m_hToken);
    m_hToken = nullptr;
}

CSecurityAttributes::CSecurityAttributes(LPCWSTR pszSddl) : SECURITY_ATTRIBUTES{ sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE }
{
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(pszSddl, SDDL_REVISION_1, &lpSecurityDescriptor, nullptr))
        lpSecurityDescriptor = nullptr;
}
