#include "afxreg.h"

LSTATUS CRegistryApi::CreateKey(HKEY hRoot, LPCWSTR pszPath, REGSAM samDesired, HKEY* phKey, DWORD dwOptions,
                                LPSECURITY_ATTRIBUTES pSecurity)
{
    return ::RegCreateKeyExW(hRoot, pszPath, 0, nullptr, dwOptions, samDesired, pSecurity, phKey, nullptr);
}

LSTATUS CRegistryApi::DeleteTree(HKEY hKey, LPCWSTR pszSubKey)
{
    return ::RegDeleteTreeW(hKey, pszSubKey);
}

LSTATUS CRegistryApi::OpenKey(HKEY hRoot, LPCWSTR pszPath, REGSAM samDesired, HKEY* phKey)
{
    return ::RegOpenKeyExW(hRoot, pszPath, 0, samDesired, phKey);
}

LSTATUS CRegistryApi::QueryValue(HKEY hKey, LPCWSTR pszName, DWORD* pdwType, BYTE* pData, DWORD* pcbData)
{
    return ::RegQueryValueExW(hKey, pszName, nullptr, pdwType, pData, pcbData);
}

LSTATUS CRegistryApi::SetValue(HKEY hKey, LPCWSTR pszName, DWORD dwType, const BYTE* pData, DWORD cbData)
{
    return ::RegSetValueExW(hKey, pszName, 0, dwType, pData, cbData);
}

LSTATUS CRegistryApi::DeleteValue(HKEY hKey, LPCWSTR pszName)
{
    return ::RegDeleteValueW(hKey, pszName);
}

LSTATUS CRegistryApi::FlushKey(HKEY hKey)
{
    return ::RegFlushKey(hKey);
}

LSTATUS CRegistryApi::SaveKey(HKEY hKey, LPCWSTR pszFile)
{
    return ::RegSaveKeyExW(hKey, pszFile, nullptr, REG_LATEST_FORMAT);
}

LSTATUS CRegistryApi::CloseKey(HKEY hKey)
{
    return ::RegCloseKey(hKey);
}

LSTATUS CRegistryApi::QueryLastWriteTime(HKEY hKey, FILETIME* pftLastWrite)
{
    return ::RegQueryInfoKeyW(hKey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              pftLastWrite);
}

CRegistryApi& CRegistryApi::Real()
{
    static CRegistryApi s_real;
    return s_real;
}

LSTATUS CRegKey::Create(HKEY hRoot, LPCWSTR pszPath, REGSAM samDesired, DWORD dwOptions, LPSECURITY_ATTRIBUTES pSecurity)
{
    Close();
    m_bAttempted = true;
    const LSTATUS status = m_api.CreateKey(hRoot, pszPath, samDesired, &m_hKey, dwOptions, pSecurity);
    if (status != ERROR_SUCCESS)
        m_hKey = nullptr;
    return status;
}

LSTATUS CRegKey::Open(HKEY hRoot, LPCWSTR pszPath, REGSAM samDesired)
{
    Close();
    m_bAttempted = true;
    const LSTATUS status = m_api.OpenKey(hRoot, pszPath, samDesired, &m_hKey);
    if (status != ERROR_SUCCESS)
        m_hKey = nullptr;
    return status;
}

void CRegKey::Close()
{
    if (!m_bAttempted)
        return;
    m_api.CloseKey(m_hKey);
    m_hKey = nullptr;
    m_bAttempted = false;
}

LSTATUS CRegKey::QueryValue(LPCWSTR pszName, DWORD* pdwType, CByteArray& rValue)
{
    // Ask for the size first and read again while another writer keeps the value growing.
    rValue.RemoveAll();
    for (;;)
    {
        DWORD cbData = 0;
        LSTATUS status = m_api.QueryValue(m_hKey, pszName, pdwType, nullptr, &cbData);
        if (status != ERROR_SUCCESS)
            return status;
        rValue.SetSize(cbData);
        status = m_api.QueryValue(m_hKey, pszName, pdwType, rValue.GetData(), &cbData);
        if (status == ERROR_MORE_DATA)
            continue;
        if (status != ERROR_SUCCESS)
        {
            rValue.RemoveAll();
            return status;
        }
        rValue.SetSize(cbData);
        return ERROR_SUCCESS;
    }
}

LSTATUS CRegKey::SetValue(LPCWSTR pszName, DWORD dwType, const BYTE* pData, DWORD cbData)
{
    return m_api.SetValue(m_hKey, pszName, dwType, pData, cbData);
}

LSTATUS CRegKey::DeleteValue(LPCWSTR pszName)
{
    return m_api.DeleteValue(m_hKey, pszName);
}

LSTATUS CRegKey::Flush()
{
    return m_api.FlushKey(m_hKey);
}

LSTATUS CRegKey::Save(LPCWSTR pszFile)
{
    return m_api.SaveKey(m_hKey, pszFile);
}

LSTATUS CRegKey::QueryLastWriteTime(FILETIME& ftLastWrite)
{
    return m_api.QueryLastWriteTime(m_hKey, &ftLastWrite);
}
