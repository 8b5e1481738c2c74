// CString for the native fuzz targets: the framework's string, on std::wstring.
#pragma once

#include <stdarg.h>

#include <string>

#include <windows.h>

class CString
{
public:
    CString() = default;
    CString(LPCWSTR psz) : m_str(psz != nullptr ? psz : L"") {}

    CString& operator+=(LPCWSTR psz)
    {
        m_str += psz;
        return *this;
    }
    operator LPCWSTR() const { return m_str.c_str(); }
    LPCWSTR GetString() const { return m_str.c_str(); }
    int GetLength() const { return static_cast<int>(m_str.size()); }
    BOOL IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }
    int Compare(LPCWSTR psz) const { return m_str.compare(psz); }

    // The Microsoft run-time's meaning: %s is a wide string.
    void __cdecl Format(LPCWSTR pszFormat, ...);
    void FormatV(LPCWSTR pszFormat, va_list args);

    friend CString operator+(const CString& a, LPCWSTR b)
    {
        CString strResult(a);
        strResult += b;
        return strResult;
    }
    friend CString operator+(const CString& a, const CString& b) { return a + b.GetString(); }
    friend CString operator+(LPCWSTR a, const CString& b) { return CString(a) + b; }

private:
    std::wstring m_str;
};
