// The turn of one copy of the program at a scope's stored layout, against other copies and against objects users made first.
#pragma once

#include "framework/afxmt.h"
#include "framework/atlsecurity.h"
#include "layout/LayoutStore.h"

// The turn of one copy of the program at the stored layout, whichever account and session it runs
// in: an administrator's dialog, a deployment agent as SYSTEM in session 0, a startup script. Any
// user may make a mutex or an event of a global name first (only file mappings there take a
// privilege), so the object found under the name is a turn only when an account that copies of
// this scope run as owns it: SYSTEM or the administrators for all users' layout; for one user's,
// that user too, whose copies need no administrator. A private namespace bounded by the
// administrators would keep users out of the name altogether, but Wine 8 has none to test it with.
class CLayoutLock
{
public:
    explicit CLayoutLock(BOOL bAllUsers);
    CLayoutLock(const CLayoutLock&) = delete;
    CLayoutLock& operator=(const CLayoutLock&) = delete;

    // done once it is this copy's turn, busy while another copy keeps it, lockSquatted when the
    // object under the name is no copy's, or lockFailed with why the mutex cannot be had at all.
    LayoutEdit::Result Take(DWORD dwTimeoutMs, LayoutEdit& edit);

    // The name of the scope's turn: one for all users, one per user for each user's own layout.
    static CString NameFor(BOOL bAllUsers, const CSid& user);

private:
    BOOL IsCopysOwner(const CSid& owner) const;

    CSid m_user;
    CString m_strName;
    BOOL m_bAllUsers;
    DWORD m_dwError = ERROR_SUCCESS;
    BOOL m_bSquatted = FALSE;
    BOOL m_bDenied = FALSE;
    CSid m_holder;
    CSecurityAttributes m_access;
    CMutex m_mutex;
    CSingleLock m_lock;
};
