#include "dialog/Messages.h"

#include "system/ShownText.h"
#include "system/SystemErrorText.h"

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
const WCHAR g_szCtrlAltDelLost[] = L"Could Not Store the Keyboard Layout, so Nothing was Changed.\n\n";
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
        return g_szLockSquatted + edit.LockSquattedText(ShownText(edit.strLockHolder));
    case LayoutEdit::readFailed:
        return g_szReadFailed + SystemErrorText(static_cast<DWORD>(edit.status));
    case LayoutEdit::openFailed:
        return g_szOpenFailed;
    case LayoutEdit::deleteFailed:
        return g_szDeleteFailed;
    case LayoutEdit::writeFailed:
        return g_szWriteFailed;
    case LayoutEdit::ctrlAltDelLost:
        return g_szCtrlAltDelLost + edit.CtrlAltDelLostText();
    case LayoutEdit::done:
        break;
    }
    return CString();
}
