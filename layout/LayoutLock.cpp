#include "layout/LayoutLock.h"

namespace
{
const WCHAR s_szAllUsersName[] = L"Global\\MorvexDisabler.KeyboardLayout";

CSid ProcessUser()
{
    CSid user;
    CAccessToken::GetProcessUser(&user);
    return user;
}

// Owned by the administrators, whichever of them or SYSTEM makes it, since a policy may give an
// administrator's objects to the administrator alone; SYSTEM and the administrators may take it,
// whoever made it: the default rights of a SYSTEM process's objects would let an administrator's
// copy wait for the mutex but not release it. One user's turn is that user's, as the layout is.
CString AccessFor(BOOL bAllUsers, const CSid& user)
{
    if (bAllUsers)
        return L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)";
    const CString strUser = user.Sid();
    return L"O:" + strUser + L"D:P(A;;GA;;;" + strUser + L")(A;;GA;;;SY)";
}

// Whether the process may act as an administrator now: elevated, or SYSTEM.
BOOL RunsAsAdministrator()
{
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD cbSid = sizeof(sid);
    BOOL bMember = FALSE;
    return ::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &cbSid) && ::CheckTokenMembership(nullptr, sid, &bMember) &&
           bMember;
}

// The owner of whatever holds the name when no mutex of it can be opened for a turn: an object of
// another kind, or one this account may not use.
BOOL ReadHolder(LPCWSTR pszName, CSid* pOwner)
{
    using Open = HANDLE(WINAPI*)(DWORD, BOOL, LPCWSTR);
    static const Open s_opens[] = { ::OpenMutexW, ::OpenEventW, ::OpenSemaphoreW, ::OpenWaitableTimerW, ::OpenFileMappingW,
                                    ::OpenJobObjectW };
    for (const Open open : s_opens)
    {
        const HANDLE hObject = open(READ_CONTROL, FALSE, pszName);
        if (hObject == nullptr)
            continue;
        const BOOL bRead = AtlGetOwnerSid(hObject, SE_KERNEL_OBJECT, pOwner);
        ::CloseHandle(hObject);
        return bRead;
    }
    return FALSE;
}
}  // namespace

CString CLayoutLock::NameFor(BOOL bAllUsers, const CSid& user)
{
    return bAllUsers ? CString(s_szAllUsersName) : CString(s_szAllUsersName) + L"." + user.Sid();
}

CLayoutLock::CLayoutLock(BOOL bAllUsers)
    : m_user(ProcessUser()), m_strName(NameFor(bAllUsers, m_user)), m_bAllUsers(bAllUsers),
      m_access(AccessFor(bAllUsers, m_user)), m_mutex(FALSE, m_strName, &m_access), m_lock(&m_mutex)
{
    const DWORD dwCreated = ::GetLastError();
    m_dwError = m_mutex.m_hObject != nullptr ? ERROR_SUCCESS : dwCreated;
    // An account that is no elevated administrator may not name the administrators as an
    // object's owner: for it, as for the layout's key, access is denied.
    if (m_dwError == ERROR_INVALID_OWNER)
        m_dwError = ERROR_ACCESS_DENIED;
    BOOL bHolderKnown = FALSE;
    if (m_mutex.m_hObject == nullptr)
        bHolderKnown = ReadHolder(m_strName, &m_holder);
    else if (dwCreated == ERROR_ALREADY_EXISTS)
        bHolderKnown = AtlGetOwnerSid(m_mutex.m_hObject, SE_KERNEL_OBJECT, &m_holder);
    m_bSquatted = bHolderKnown && !IsCopysOwner(m_holder);
    // Every copy's turn lets this account use it when it may act for the scope: an elevated run
    // for all users, and the user for the user's own. Denied, it faces no copy's object, whether
    // its owner can be read or not. A standard account denied the all-users turn is simply no
    // administrator, as it would be at the layout's key.
    m_bDenied = m_dwError == ERROR_ACCESS_DENIED && !m_bSquatted && (!bAllUsers || RunsAsAdministrator());
    if (!bHolderKnown)
        m_holder = CSid();
}

BOOL CLayoutLock::IsCopysOwner(const CSid& owner) const
{
    // No other account can make an object owned so.
    if (owner.IsWellKnown(WinLocalSystemSid) || owner.IsWellKnown(WinBuiltinAdministratorsSid))
        return TRUE;
    return !m_bAllUsers && m_user.IsValid() && owner.IsValid() && ::EqualSid(owner.GetPSID(), m_user.GetPSID());
}

LayoutEdit::Result CLayoutLock::Take(DWORD dwTimeoutMs, LayoutEdit& edit)
{
    edit.status = static_cast<LSTATUS>(m_dwError);
    edit.strLockName = m_strName;
    if (m_bSquatted || m_bDenied)
    {
        edit.strLockHolder = m_holder.AccountName();
        edit.bLockDenied = m_bDenied;
        return LayoutEdit::lockSquatted;
    }
    if (m_dwError != ERROR_SUCCESS)
        return LayoutEdit::lockFailed;
    if (m_lock.Lock(dwTimeoutMs))
        return LayoutEdit::done;
    edit.status = WAIT_TIMEOUT;
    return LayoutEdit::busy;
}
