// CAccessToken, the one owner of a token handle, with the privilege steps the program takes;
// CSecurityAttributes, the owner of a security descriptor made from text; and CSid, an account's SID.
#pragma once

#include <windows.h>

#include <accctrl.h>

#include "afxstr.h"

class CSid;

class CAccessToken
{
public:
    CAccessToken() = default;
    ~CAccessToken() { Clear(); }
    CAccessToken(const CAccessToken&) = delete;
    CAccessToken& operator=(const CAccessToken&) = delete;

    // The current process's own token.
    BOOL GetProcessToken(DWORD dwDesiredAccess);
    // The account the current process runs as.
    static BOOL GetProcessUser(CSid* pUser);
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

// A copy of a SID, as an object's owner or a token's user is read.
class CSid
{
public:
    CSid() = default;
    explicit CSid(PSID pSid);

    BOOL IsValid() const { return ::IsValidSid(const_cast<BYTE*>(m_sid)); }
    PSID GetPSID() const { return const_cast<BYTE*>(m_sid); }
    BOOL IsWellKnown(WELL_KNOWN_SID_TYPE type) const { return IsValid() && ::IsWellKnownSid(GetPSID(), type); }
    // DOMAIN\name, the name alone for an account of no domain (Everyone), or the SID as text when
    // this computer knows no name for it: one of a domain out of reach, or of an account since removed.
    CString AccountName() const;
    // The SID as text, S-1-5-...; empty when it is not valid.
    CString Sid() const;

private:
    BYTE m_sid[SECURITY_MAX_SID_SIZE] = {};
};

// The owner of an object, read through a handle opened with READ_CONTROL; FALSE when it cannot be
// read. Wine gives an object made without a security descriptor no owner: pSid is then not valid.
BOOL AtlGetOwnerSid(HANDLE hObject, SE_OBJECT_TYPE objectType, CSid* pSid);
