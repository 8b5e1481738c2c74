#include "system/ScopeTexts.h"

const ScopeTexts& ScopeTexts::For(BOOL bAllUsers)
{
    static const ScopeTexts s_allUsers = {
        L"Do you Want to Restart the Computer Now for the Changes to be in Effect ?",
        L"Could Not Restart Computer.\n\nPlease Restart Computer for Changes Done to be in Effect.",
        nullptr,
    };
    static const ScopeTexts s_currentUser = {
        L"Do you Want to Log Off from the Signed On Account Now for the Changes to be in Effect ?",
        L"Could Not Log Off from Signed On Account.\n\nPlease Log Off & Log In Again for Changes Done to be in Effect.",
        L"The Changes are Stored for the Account this Application Runs as, which is not the Signed On Account: Logging Off "
        L"from Here would not Reach it.\n\nThe Changes will be in Effect the Next Time that Account Logs On.",
    };
    return bAllUsers ? s_allUsers : s_currentUser;
}
