// The native stand-ins' calls, and what RapidJSON needs of the program.
#include <stdlib.h>
#include <wctype.h>

#include <vector>

#include "cmdline/RapidJson.h"
#include "framework/afxstr.h"

int MultiByteToWideChar(UINT, DWORD, LPCSTR psz, int cb, LPWSTR pszWide, int cchWide)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(psz);
    int nOut = 0;
    for (int i = 0; i < cb;)
    {
        uint32_t ch = p[i];
        const int nMore = ch < 0x80 ? 0 : ch < 0xE0 ? 1 : ch < 0xF0 ? 2 : 3;
        ch &= nMore == 0 ? 0x7F : nMore == 1 ? 0x1F : nMore == 2 ? 0x0F : 0x07;
        for (int k = 1; k <= nMore && i + k < cb; ++k)
            ch = ch << 6 | (p[i + k] & 0x3F);
        i += nMore + 1;
        const bool bPair = ch >= 0x10000;
        if (pszWide != nullptr && nOut + (bPair ? 2 : 1) > cchWide)
            return 0;
        if (pszWide != nullptr)
        {
            if (bPair)
            {
                pszWide[nOut] = static_cast<WCHAR>(0xD800 + ((ch - 0x10000) >> 10));
                pszWide[nOut + 1] = static_cast<WCHAR>(0xDC00 + ((ch - 0x10000) & 0x3FF));
            }
            else
                pszWide[nOut] = static_cast<WCHAR>(ch);
        }
        nOut += bPair ? 2 : 1;
    }
    return nOut;
}

int _wcsnicmp(LPCWSTR a, LPCWSTR b, size_t n)
{
    for (size_t i = 0; i < n; ++i)
    {
        const wint_t ca = towlower(static_cast<wint_t>(a[i])), cb = towlower(static_cast<wint_t>(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
        if (ca == 0)
            break;
    }
    return 0;
}

int _wcsicmp(LPCWSTR a, LPCWSTR b)
{
    return _wcsnicmp(a, b, static_cast<size_t>(-1));
}

void __cdecl CString::Format(LPCWSTR pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    FormatV(pszFormat, args);
    va_end(args);
}

void CString::FormatV(LPCWSTR pszFormat, va_list args)
{
    // glibc reads %s as a narrow string: every %s without a size becomes %ls.
    std::wstring strFormat;
    for (LPCWSTR p = pszFormat; *p != L'\0'; ++p)
    {
        strFormat += *p;
        if (*p != L'%')
            continue;
        for (++p; *p != L'\0' && wcschr(L"-+ #0123456789.*", *p) != nullptr; ++p)
            strFormat += *p;
        if (*p == L's')
            strFormat += L'l';
        if (*p == L'\0')
            break;
        strFormat += *p;
    }
    for (std::vector<wchar_t> buffer(256); buffer.size() < (1u << 24); buffer.resize(buffer.size() * 2))
    {
        va_list copy;
        va_copy(copy, args);
        const int n = vswprintf(buffer.data(), buffer.size(), strFormat.c_str(), copy);
        va_end(copy);
        if (n >= 0)
        {
            m_str.assign(buffer.data(), static_cast<size_t>(n));
            return;
        }
    }
    abort();
}

void JsonInvariantBroken()
{
    abort();
}

void* CJsonAllocator::Malloc(size_t cb)
{
    return cb == 0 ? nullptr : malloc(cb);
}

void* CJsonAllocator::Realloc(void* pOld, size_t, size_t cbNew)
{
    if (cbNew != 0)
        return realloc(pOld, cbNew);
    free(pOld);
    return nullptr;
}

void CJsonAllocator::Free(void* p)
{
    free(p);
}
