#include "ui/Messages.h"

const WCHAR g_szOpenFailed[] =
    L"Could Not Open Registry Database Key to Store Data.\n\n"
    L"This may be due to Access Rights Issue or Something Else.\n\n"
    L"Try Running the Application as Administrator or Uncheck the CheckBox Which Says For All Users on this Computer.";
const WCHAR g_szDeleteFailed[] =
    L"Could Not Remove Keyboard Mappings from Registry Database.\n\n"
    L"This may be due to Access Rights Issue or Something Else.\n"
    L"Please drop an email with related details to support@morvexsoft.com to get this fixed.";
const WCHAR g_szWriteFailed[] =
    L"Could Not Store New Keyboard Layout to Registry Database.\n\n"
    L"This may be due to Access Rights Issue or Something Else.\n"
    L"Please drop an email with related details to support@morvexsoft.com to get this fixed.";

const WCHAR g_szReadFailed[] = L"Could Not Read Keyboard Layout from Registry Database, so Nothing was Changed.\n\n";
const WCHAR g_szLockFailed[] =
    L"Could Not Take Turns at the Keyboard Layout with Other Copies of this Application, so Nothing was Changed.\n\n";
const WCHAR g_szLockSquatted[] = L"Could Not Take Turns at the Keyboard Layout, so Nothing was Changed.\n\n";
const WCHAR g_szLayoutBusy[] =
    L"Another Copy of this Application is Changing the Keyboard Layout, so Nothing was Changed.\n\n"
    L"Please Try Again in a Moment.";

CString EditFailureText(const LayoutEdit& edit)
{
    switch (edit.result)
    {
    case LayoutEdit::busy:
        return g_szLayoutBusy;
    case LayoutEdit::lockFailed:
        return g_szLockFailed + SystemErrorText(static_cast<DWORD>(edit.status));
    case LayoutEdit::lockSquatted:
        return g_szLockSquatted + LockSquattedText(edit);
    case LayoutEdit::readFailed:
        return g_szReadFailed + SystemErrorText(static_cast<DWORD>(edit.status));
    case LayoutEdit::openFailed:
        return g_szOpenFailed;
    case LayoutEdit::deleteFailed:
        return g_szDeleteFailed;
    case LayoutEdit::writeFailed:
        return g_szWriteFailed;
    case LayoutEdit::done:
        break;
    }
    return CString();
}

CString LockSquattedText(const LayoutEdit& edit)
{
    CString strText;
    strText.Format(L"The name %s is held by an object that %s made, not SYSTEM or an administrator.", g_szLayoutLockName,
                   edit.strLockHolder.IsEmpty() ? L"an unknown account" : edit.strLockHolder.GetString());
    return strText;
}

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

const ScopeTexts& ScopeTexts::For(BOOL bAllUsers)
{
    static const ScopeTexts s_allUsers = {
        L"Do you Want to Restart the Computer Now for the Changes to be in Effect ?",
        L"Could Not Restart Computer.\n\nPlease Restart Computer for Changes Done to be in Effect.",
        EWX_REBOOT,
    };
    static const ScopeTexts s_currentUser = {
        L"Do you Want to Log Off from the Signed On Account Now for the Changes to be in Effect ?",
        L"Could Not Log Off from Signed On Account.\n\nPlease Log Off & Log In Again for Changes Done to be in Effect.",
        EWX_LOGOFF,
    };
    return bAllUsers ? s_allUsers : s_currentUser;
}
