// What any error that echoes outside text must keep, for the fuzz targets of the readers of such text.
#pragma once

#include <stdio.h>
#include <stdlib.h>

#include <string>

namespace shown
{
// Longer than any error of the readers with every echo cut to 40 characters: an input of any
// length makes an error of no more.
const size_t kLongestError = 600;

inline void Broken(const char* pszWhat, const std::wstring& strError)
{
    fprintf(stderr, "broken: %s in an error of %zu characters:\n", pszWhat, strError.size());
    for (wchar_t ch : strError)
        fprintf(stderr, ch >= 0x20 && ch < 0x7F ? "%lc" : "<U+%04X>", static_cast<wint_t>(ch));
    fputc('\n', stderr);
    abort();
}

// Nothing in it can break a line, steer a terminal, reverse or hide text; it holds no half of a
// surrogate pair, from the input or from a cut; no echo runs on.
inline void CheckError(const std::wstring& strError)
{
    if (strError.size() > kLongestError)
        Broken("an echo not cut", strError);
    for (size_t i = 0; i < strError.size(); ++i)
    {
        const wchar_t ch = strError[i];
        const bool bControl = ch < 0x20 || (ch >= 0x7F && ch <= 0x9F) || ch == 0x2028 || ch == 0x2029;
        const bool bDirection = (ch >= 0x202A && ch <= 0x202E) || (ch >= 0x2066 && ch <= 0x2069) || ch == 0x061C ||
                                ch == 0x200E || ch == 0x200F;
        const bool bInvisible = (ch >= 0x200B && ch <= 0x200D) || (ch >= 0x2060 && ch <= 0x2064) || ch == 0xFEFF;
        if (bControl || bDirection || bInvisible)
            Broken("a character that is not shown as U+FFFD", strError);
        // Half a pair: one split by the cut, or one that came so and was not shown as U+FFFD.
        if (ch >= 0xD800 && ch <= 0xDBFF && !(i + 1 < strError.size() && strError[i + 1] >= 0xDC00 && strError[i + 1] <= 0xDFFF))
            Broken("half a surrogate pair", strError);
        if (ch >= 0xDC00 && ch <= 0xDFFF && !(i > 0 && strError[i - 1] >= 0xD800 && strError[i - 1] <= 0xDBFF))
            Broken("half a surrogate pair", strError);
    }
}
}  // namespace shown
