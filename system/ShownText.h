// Text from outside the program made safe to show in an error or a log line.
#pragma once

#include <stddef.h>

#include "framework/afxstr.h"

// A text from outside the program (an argument, a file name, an account) as an error or a log line
// may show it: every control character (NUL, C0, DEL, C1, the line and paragraph separators), every
// bidirectional embedding, override, isolate and mark, and every invisible formatting character
// (zero-width spaces and joiners, the word joiner and invisible operators, the byte order mark),
// and half a surrogate pair, is U+FFFD. It can then neither break a line, nor steer a terminal with an escape sequence, nor show
// the rest of its line reversed, nor hide what it says from someone comparing it with a name.
CString ShownText(LPCWSTR pszText);
// The same for a counted text, such as a string decoded from JSON, which may hold a NUL.
CString ShownText(LPCWSTR pszText, size_t nLength);

// The text as an error mentions it without quotes: shown as above and cut short after 40
// characters (a surrogate pair is kept whole), since an argument may be as long as a command line
// can be.
CString ShortText(LPCWSTR pszText, size_t nLength);
CString ShortText(LPCWSTR pszText);

// The text as an error quotes it: the short text in double quotes.
CString QuotedText(LPCWSTR pszText, size_t nLength);
CString QuotedText(LPCWSTR pszText);
