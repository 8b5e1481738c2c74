#include "afxstr.h"
#include "afxwin.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

// Every empty string shares this buffer, so a default-constructed CString never allocates.
static WCHAR s_szEmpty[1] = { L'\0' };

CString::CString() : m_pszData(s_szEmpty), m_nLength(0) {}

CString::CString(const CString& other) : CString() { Assign(other.m_pszData, other.m_nLength); }

CString::CString(LPCWSTR psz) : CString() { *this = psz; }

CString::~CString() { Release(); }

CString& CString::operator=(const CString& other)
{
    if (this != &other)
        Assign(other.m_pszData, other.m_nLength);
    return *this;
}

CString& CString::operator=(LPCWSTR psz)
{
    Assign(psz, psz != nullptr ? static_cast<int>(wcslen(psz)) : 0);
    return *this;
}

CString& CString::operator+=(LPCWSTR psz)
{
    const int nAdd = psz != nullptr ? static_cast<int>(wcslen(psz)) : 0;
    if (nAdd == 0)
        return *this;
    LPWSTR pNew = static_cast<LPWSTR>(malloc((m_nLength + nAdd + 1) * sizeof(WCHAR)));
    if (pNew == nullptr)
        abort();
    memcpy(pNew, m_pszData, m_nLength * sizeof(WCHAR));
    memcpy(pNew + m_nLength, psz, (nAdd + 1) * sizeof(WCHAR));
    const int nLength = m_nLength + nAdd;
    Release();
    m_pszData = pNew;
    m_nLength = nLength;
    return *this;
}

void CString::Empty() { Release(); }

int CString::Compare(LPCWSTR psz) const { return wcscmp(m_pszData, psz != nullptr ? psz : L""); }

void __cdecl CString::Format(LPCWSTR pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    FormatV(pszFormat, args);
    va_end(args);
}

void CString::FormatV(LPCWSTR pszFormat, va_list args)
{
    va_list argsCount;
    va_copy(argsCount, args);
    const int nLength = _vscwprintf(pszFormat, argsCount);
    va_end(argsCount);
    if (nLength <= 0)
    {
        Empty();
        return;
    }
    LPWSTR pNew = static_cast<LPWSTR>(malloc((nLength + 1) * sizeof(WCHAR)));
    if (pNew == nullptr)
        abort();
    _vsnwprintf(pNew, nLength + 1, pszFormat, args);
    pNew[nLength] = L'\0';
    Release();
    m_pszData = pNew;
    m_nLength = nLength;
}

BOOL CString::LoadString(UINT nID)
{
    // With a zero buffer size LoadStringW hands out a pointer into the resource itself,
    // which is not terminated: the length it returns is all that bounds the text.
    LPCWSTR pszResource = nullptr;
    const int nLength = ::LoadStringW(AfxGetResourceHandle(), nID, reinterpret_cast<LPWSTR>(&pszResource), 0);
    if (nLength <= 0 || pszResource == nullptr)
    {
        Empty();
        return FALSE;
    }
    Assign(pszResource, nLength);
    return TRUE;
}

void CString::Assign(LPCWSTR psz, int nLength)
{
    if (nLength == 0)
    {
        Release();
        return;
    }
    LPWSTR pNew = static_cast<LPWSTR>(malloc((nLength + 1) * sizeof(WCHAR)));
    if (pNew == nullptr)
        abort();
    memcpy(pNew, psz, nLength * sizeof(WCHAR));
    pNew[nLength] = L'\0';
    Release();
    m_pszData = pNew;
    m_nLength = nLength;
}

void CString::Release()
{
    if (m_pszData != s_szEmpty)
        free(m_pszData);
    m_pszData = s_szEmpty;
    m_nLength = 0;
}
