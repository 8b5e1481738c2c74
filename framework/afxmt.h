// Synchronisation objects: CMutex, CEvent, and CSingleLock, which holds one for as long as it lives.
#pragma once

#include <windows.h>

class CSyncObject
{
public:
    explicit CSyncObject(LPCWSTR pstrName);
    virtual ~CSyncObject();
    CSyncObject(const CSyncObject&) = delete;
    CSyncObject& operator=(const CSyncObject&) = delete;

    // A wait that ends because the last owner ended without releasing the object still takes it:
    // its owner can no longer be in the middle of anything.
    virtual BOOL Lock(DWORD dwTimeout = INFINITE);
    virtual BOOL Unlock() = 0;

    // Null when the object could not be created or opened.
    HANDLE m_hObject;
};

class CMutex : public CSyncObject
{
public:
    // Creates the named mutex, or opens it when another process has created it already: GetLastError
    // says ERROR_ALREADY_EXISTS then.
    CMutex(BOOL bInitiallyOwn = FALSE, LPCWSTR lpszName = nullptr, LPSECURITY_ATTRIBUTES lpsaAttribute = nullptr);

    BOOL Unlock() override;
};

class CEvent : public CSyncObject
{
public:
    CEvent(BOOL bInitiallyOwn = FALSE, BOOL bManualReset = FALSE, LPCWSTR lpszName = nullptr,
           LPSECURITY_ATTRIBUTES lpsaAttribute = nullptr);

    BOOL SetEvent();
    BOOL Unlock() override { return TRUE; }
};

// Takes the object on Lock and releases it when it goes, on every path.
class CSingleLock
{
public:
    explicit CSingleLock(CSyncObject* pObject, BOOL bInitialLock = FALSE);
    ~CSingleLock() { Unlock(); }
    CSingleLock(const CSingleLock&) = delete;
    CSingleLock& operator=(const CSingleLock&) = delete;

    BOOL Lock(DWORD dwTimeOut = INFINITE);
    BOOL Unlock();
    BOOL IsLocked() const { return m_bAcquired; }

private:
    CSyncObject* m_pObject;
    BOOL m_bAcquired = FALSE;
};
