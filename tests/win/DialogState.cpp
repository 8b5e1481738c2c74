#include "DialogState.h"

void PrintTo(const DialogState& state, std::ostream* pStream)
{
    *pStream << "{checked";
    for (bool b : state.checked)
        *pStream << ' ' << b;
    *pStream << ", members";
    for (BOOL b : state.members)
        *pStream << ' ' << b;
    *pStream << ", " << state.entries.size() << " entries, pending " << state.bChangesPending << '}';
}

DialogState StateOf(CUser& user, CMorvexDisablerDlg& dlg)
{
    DialogState state;
    for (int nID : { IDC_LEFT_WINDOWS_KEY, IDC_RIGHT_WINDOWS_KEY, IDC_CAPS_LOCK_KEY, IDC_LEFT_CTRL_KEY })
        state.checked.push_back(user.IsChecked(nID));
    user.OnDialogThread([&] {
        for (size_t nRow = 0; nRow < CKeyTable::kDialogCount; ++nRow)
            state.members.push_back(dlg.KeyMember(nRow));
        CString strKey, strValue;
        for (POSITION pos = dlg.m_mapDisabledKeys.GetStartPosition(); pos != nullptr;)
        {
            dlg.m_mapDisabledKeys.GetNextAssoc(pos, strKey, strValue);
            state.entries.emplace_back(strKey.GetString(), strValue.GetString());
        }
        state.bChangesPending = dlg.m_bChangesPending;
    });
    return state;
}
