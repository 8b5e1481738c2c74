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

LPCWSTR SaveFailureText(CLayoutStore::SaveResult result)
{
    switch (result)
    {
    case CLayoutStore::openFailed:
        return g_szOpenFailed;
    case CLayoutStore::deleteFailed:
        return g_szDeleteFailed;
    case CLayoutStore::writeFailed:
        return g_szWriteFailed;
    case CLayoutStore::saved:
        break;
    }
    return nullptr;
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
