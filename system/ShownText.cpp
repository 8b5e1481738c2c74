#include "system/ShownText.h"

#include <wchar.h>

#include "framework/afxcoll.h"

CString ShownText(LPCWSTR pszText)
{
    // Made in a buffer of its own: CString grows only by whole strings.
    const size_t nLength = wcslen(pszText);
    CByteArray buffer;
    buffer.SetSize(static_cast<INT_PTR>((nLength + 1) * sizeof(WCHAR)));
    LPWSTR pszShown = reinterpret_cast<LPWSTR>(buffer.GetData());
    for (size_t i = 0; i < nLength; ++i)
    {
        const WCHAR ch = pszText[i];
        const bool bControl = ch < 0x20 || (ch >= 0x7F && ch <= 0x9F) || ch == 0x2028 || ch == 0x2029;
        const bool bDirection = (ch >= 0x202A && ch <= 0x202E) || (ch >= 0x2066 && ch <= 0x2069);
        pszShown[i] = bControl || bDirection ? static_cast<WCHAR>(0xFFFD) : ch;
    }
    pszShown[nLength] = L'\0';
    return pszShown;
}

CString QuotedText(LPCWSTR pszText)
{
    const int kShown = 40;
    const CString strText = ShownText(pszText);
    CString strQuoted;
    if (strText.GetLength() > kShown)
        strQuoted.Format(L"\"%.*s...\"", kShown, strText.GetString());
    else
        strQuoted.Format(L"\"%s\"", strText.GetString());
    return strQuoted;
}
