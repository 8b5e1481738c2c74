// CAccessToken: the one owner of a token handle, with the privilege steps the program takes.
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
