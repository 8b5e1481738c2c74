#include "atlsecurity.h"

#include <aclapi.h>
#include <sddl.h>

BOOL CAccessToken::GetProcessToken(DWORD dwDesiredAccess)
{
    Clear();
    if (::OpenProcessToken(::GetCurrentProcess(), dwDesiredAccess, &m_hToken))
        return TRUE;
    m_hToken = nullptr;
    return FALSE;
}

BOOL CAccessToken::GetProcessUser(CSid* pUser)
{
    CAccessToken token;
    union
    {
        TOKEN_USER user;
        BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } info;
    DWORD cbInfo = 0;
    if (!token.GetProcessToken(TOKEN_QUERY) || !::GetTokenInformation(token.GetHandle(), TokenUser, &info, sizeof(info), &cbInfo))
        return FALSE;
    *pUser = CSid(info.user.User.Sid);
    return pUser->IsValid();
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

CSid::CSid(PSID pSid)
{
    if (pSid != nullptr && ::IsValidSid(pSid))
        ::CopySid(sizeof(m_sid), m_sid, pSid);
}

CString CSid::AccountName() const
{
    WCHAR szName[257], szDomain[257];
    DWORD cchName = ARRAYSIZE(szName), cchDomain = ARRAYSIZE(szDomain);
    SID_NAME_USE use;
    CString strAccount;
    if (!IsValid())
        return strAccount;
    if (::LookupAccountSidW(nullptr, GetPSID(), szName, &cchName, szDomain, &cchDomain, &use))
    {
        if (szDomain[0] != L'\0')
        {
            strAccount = szDomain;
            strAccount += L"\\";
        }
        strAccount += szName;
        return strAccount;
    }
    return Sid();
}

CString CSid::Sid() const
{
    CString strSid;
    LPWSTR pszSid = nullptr;
    if (IsValid() && ::ConvertSidToStringSidW(GetPSID(), &pszSid))
    {
        strSid = pszSid;
        ::LocalFree(pszSid);
    }
    return strSid;
}

BOOL AtlGetOwnerSid(HANDLE hObject, SE_OBJECT_TYPE objectType, CSid* pSid)
{
    PSID pOwner = nullptr;
    PSECURITY_DESCRIPTOR pDescriptor = nullptr;
    if (::GetSecurityInfo(hObject, objectType, OWNER_SECURITY_INFORMATION, &pOwner, nullptr, nullptr, nullptr, &pDescriptor) !=
        ERROR_SUCCESS)
        return FALSE;
    *pSid = CSid(pOwner);
    ::LocalFree(pDescriptor);
    return TRUE;
}
