// Text from outside the program made safe to show in an error or a log line.
#pragma once

#include "framework/afxstr.h"

// A text from outside the program (an argument, a file name, an account) as an error or a log line
// may show it: every control character (C0, DEL, C1, the line and paragraph separators) and every
// bidirectional embedding, override and isolate is U+FFFD. It can then neither break a line, nor
// steer a terminal with an escape sequence, nor show the rest of its line reversed.
CString ShownText(LPCWSTR pszText);

// The text as an error quotes it: shown as above, in double quotes, and cut short after 40
// characters, since an argument may be as long as a command line can be.
CString QuotedText(LPCWSTR pszText);
