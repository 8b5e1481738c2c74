// CString: the framework's UTF-16 string, light enough for a program that links its run-time statically.
#pragma once

#include <windows.h>
#include <stdarg.h>

class CString
{
public:
    CString();
    CString(const CString& other);
    CString(LPCWSTR psz);
    ~CString();

    CString& operator=(const CString& other);
    CString& operator=(LPCWSTR psz);
    CString& operator+=(LPCWSTR psz);

    operator LPCWSTR() const { return m_pszData; }
    LPCWSTR GetString() const { return m_pszData; }
    int GetLength() const { return m_nLength; }
    BOOL IsEmpty() const { return m_nLength == 0; }
    void Empty();
    int Compare(LPCWSTR psz) const;

    // printf-style formatting through the C run-time, so %d, %u and %s mean what they mean there.
    void __cdecl Format(LPCWSTR pszFormat, ...);
    void FormatV(LPCWSTR pszFormat, va_list args);

    // Loads a string resource of the resource module; the text is empty when there is none.
    BOOL LoadString(UINT nID);

    friend CString operator+(const CString& a, LPCWSTR b)
    {
        CString strResult(a);
        strResult += b;
        return strResult;
    }
    friend CString operator+(const CString& a, const CString& b) { return a + b.GetString(); }
    friend CString operator+(LPCWSTR a, const CString& b)
    {
        CString strResult(a);
        strResult += b;
        return strResult;
    }

    friend bool operator==(const CString& a, LPCWSTR b) { return a.Compare(b) == 0; }
    friend bool operator!=(const CString& a, LPCWSTR b) { return a.Compare(b) != 0; }

private:
    void Assign(LPCWSTR psz, int nLength);
    void Release();

    LPWSTR m_pszData;
    int m_nLength;
};
