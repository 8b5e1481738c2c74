#include "system/ShownText.h"

#include <wchar.h>

#include "framework/afxcoll.h"

namespace
{
const size_t kShortLength = 40;

bool IsHidden(WCHAR ch)
{
    const bool bControl = ch < 0x20 || (ch >= 0x7F && ch <= 0x9F) || ch == 0x2028 || ch == 0x2029;
    const bool bDirection =
        (ch >= 0x202A && ch <= 0x202E) || (ch >= 0x2066 && ch <= 0x2069) || ch == 0x061C || ch == 0x200E || ch == 0x200F;
    const bool bInvisible = (ch >= 0x200B && ch <= 0x200D) || (ch >= 0x2060 && ch <= 0x2064) || ch == 0xFEFF;
    return bControl || bDirection || bInvisible;
}

bool IsHighSurrogate(WCHAR ch)
{
    return ch >= 0xD800 && ch <= 0xDBFF;
}

bool IsLowSurrogate(WCHAR ch)
{
    return ch >= 0xDC00 && ch <= 0xDFFF;
}

bool IsPairAt(LPCWSTR pszText, size_t nLength, size_t i)
{
    return i + 1 < nLength && IsHighSurrogate(pszText[i]) && IsLowSurrogate(pszText[i + 1]);
}
}  // namespace

CString ShownText(LPCWSTR pszText, size_t nLength)
{
    // Made in a buffer of its own: CString grows only by whole strings.
    CByteArray buffer;
    buffer.SetSize(static_cast<INT_PTR>((nLength + 1) * sizeof(WCHAR)));
    LPWSTR pszShown = reinterpret_cast<LPWSTR>(buffer.GetData());
    for (size_t i = 0; i < nLength; ++i)
    {
        if (IsPairAt(pszText, nLength, i))
        {
            pszShown[i] = pszText[i];
            ++i;
            pszShown[i] = pszText[i];
            continue;
        }
        // Half a pair is no character: a console shows whatever it likes for it.
        const bool bHalfPair = IsHighSurrogate(pszText[i]) || IsLowSurrogate(pszText[i]);
        pszShown[i] = IsHidden(pszText[i]) || bHalfPair ? static_cast<WCHAR>(0xFFFD) : pszText[i];
    }
    pszShown[nLength] = L'\0';
    return pszShown;
}

CString ShownText(LPCWSTR pszText)
{
    return ShownText(pszText, wcslen(pszText));
}

CString ShortText(LPCWSTR pszText, size_t nLength)
{
    if (nLength <= kShortLength)
        return ShownText(pszText, nLength);
    // A pair across the cut goes whole to the part cut off.
    const size_t nCut = IsPairAt(pszText, nLength, kShortLength - 1) ? kShortLength - 1 : kShortLength;
    return ShownText(pszText, nCut) + L"...";
}

CString ShortText(LPCWSTR pszText)
{
    return ShortText(pszText, wcslen(pszText));
}

CString QuotedText(LPCWSTR pszText, size_t nLength)
{
    return L"\"" + ShortText(pszText, nLength) + L"\"";
}

CString QuotedText(LPCWSTR pszText)
{
    return QuotedText(pszText, wcslen(pszText));
}
