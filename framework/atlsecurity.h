// CAccessToken, the one owner of a token handle, with the privilege steps the program takes; and
// CSecurityAttributes, the owner of a security descriptor made from text.
#pragma once

#include <windows.h>

class CAccessToken
{
public:
    CAccessToken() = default;
    ~CAccessToken() { Clear(); }
    CAccessToken(const CAccessToken&) = delete;
    CAccessToken& operator=(const CAccessToken&) = delete;

    // The current process's own token.
    BOOL GetProcessToken(DWORD dwDesiredAccess);
    // Enables one privilege the token holds. With pPreviousState, what it was before is kept there
    // for RestorePrivileges; a privilege that was enabled already is left so by the restore.
    BOOL EnablePrivilege(LPCWSTR pszPrivilege, TOKEN_PRIVILEGES* pPreviousState = nullptr);
    BOOL RestorePrivileges(const TOKEN_PRIVILEGES& previousState);
    void Clear();

    HANDLE GetHandle() const { return m_hToken; }

private:
    HANDLE m_hToken = nullptr;
};

// Security attributes whose descriptor is given in the system's descriptor language (SDDL). A text
// that does not convert leaves the descriptor null: the creator's default security.
class CSecurityAttributes : public SECURITY_ATTRIBUTES
{
public:
    explicit CSecurityAttributes(LPCWSTR pszSddl);
    ~CSecurityAttributes() { ::LocalFree(lpSecurityDescriptor); }
    CSecurityAttributes(const CSecurityAttributes&) = delete;
    CSecurityAttributes& operator=(const CSecurityAttributes&) = delete;
};
