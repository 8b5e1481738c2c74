#include "system/SystemErrorText.h"

CString SystemErrorText(DWORD dwError)
{
    LPWSTR pszMessage = nullptr;
    const DWORD cch = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                       nullptr, dwError, 0, reinterpret_cast<LPWSTR>(&pszMessage), 0, nullptr);
    CString strText;
    if (cch == 0)
        strText.Format(L"Error %lu.", dwError);
    else
    {
        DWORD cchText = cch;
        while (cchText > 0 && (pszMessage[cchText - 1] == L'\r' || pszMessage[cchText - 1] == L'\n' || pszMessage[cchText - 1] == L' '))
            --cchText;
        pszMessage[cchText] = L'\0';
        strText = pszMessage;
    }
    ::LocalFree(pszMessage);
    return strText;
}
