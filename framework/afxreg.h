// The registry calls the program makes, behind one seam, and CRegKey, the one owner of a key handle.
#pragma once

#include "afxcoll.h"

// Real advapi32 by default. Tests put a subclass in its place to refuse what Wine never refuses
// (a write or a delete on a key that opened for writing).
class CRegistryApi
{
public:
    virtual ~CRegistryApi() = default;
    // dwOptions: REG_OPTION_NON_VOLATILE, or REG_OPTION_VOLATILE for a key Windows keeps in memory
    // only, until the next restart. pSecurity, when not null, is the security of every key made.
    virtual LSTATUS CreateKey(HKEY hRoot, LPCWSTR pszPath, REGSAM samDesired, HKEY* phKey, DWORD dwOptions,
                              LPSECURITY_ATTRIBUTES pSecurity);
    virtual LSTATUS OpenKey(HKEY hRoot, LPCWSTR pszPath, REGSAM samDesired, HKEY* phKey);
    virtual LSTATUS QueryValue(HKEY hKey, LPCWSTR pszName, DWORD* pdwType, BYTE* pData, DWORD* pcbData);
    virtual LSTATUS SetValue(HKEY hKey, LPCWSTR pszName, DWORD dwType, const BYTE* pData, DWORD cbData);
    virtual LSTATUS DeleteValue(HKEY hKey, LPCWSTR pszName);
    // Deletes the subkey with everything below it.
    virtual LSTATUS DeleteTree(HKEY hKey, LPCWSTR pszSubKey);
    virtual LSTATUS FlushKey(HKEY hKey);
    virtual LSTATUS SaveKey(HKEY hKey, LPCWSTR pszFile);
    virtual LSTATUS CloseKey(HKEY hKey);
    // When the key's values or subkeys last changed (UTC); a deleted value counts as a change.
    virtual LSTATUS QueryLastWriteTime(HKEY hKey, FILETIME* pftLastWrite);

    // The process-wide real implementation.
    static CRegistryApi& Real();
};

// Owns one key handle and closes it through the seam that opened it, on every path. A key that
// failed to open is closed as well (a null handle, which the registry refuses harmlessly), so every
// attempt to open is matched by exactly one close.
class CRegKey
{
public:
    explicit CRegKey(CRegistryApi& api = CRegistryApi::Real()) : m_hKey(nullptr), m_api(api) {}
    ~CRegKey() { Close(); }
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;

    LSTATUS Create(HKEY hRoot, LPCWSTR pszPath, REGSAM samDesired, DWORD dwOptions = REG_OPTION_NON_VOLATILE,
                   LPSECURITY_ATTRIBUTES pSecurity = nullptr);
    LSTATUS Open(HKEY hRoot, LPCWSTR pszPath, REGSAM samDesired);
    void Close();

    // Reads a value whole, however long it is; rValue is empty unless the result is ERROR_SUCCESS.
    LSTATUS QueryValue(LPCWSTR pszName, DWORD* pdwType, CByteArray& rValue);
    LSTATUS SetValue(LPCWSTR pszName, DWORD dwType, const BYTE* pData, DWORD cbData);
    LSTATUS DeleteValue(LPCWSTR pszName);
    LSTATUS Flush();
    LSTATUS Save(LPCWSTR pszFile);
    LSTATUS QueryLastWriteTime(FILETIME& ftLastWrite);

    HKEY m_hKey;

private:
    CRegistryApi& m_api;
    bool m_bAttempted = false;
};
