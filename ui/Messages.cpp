// The main dialog's reading, writing and checking of the stored layout of its scope.
#include "layout/LayoutStore.h"
#include "ui/MorvexDisablerDlg.h"

namespace
{
const WCHAR s_szOpenFailed[] =
    L"Could Not Open Registry Database Key to Store Data.\n\n"
    L"This may be due to Access Rights Issue or Something Else.\n\n"
    L"Try Running the Application as Administrator or Uncheck the CheckBox Which Says For All Users on this Computer.";
const WCHAR s_szDeleteFailed[] =
    L"Could Not Remove Keyboard Mappings from Registry Database.\n\n"
    L"This may be due to Access Rights Issue or Something Else.\n"
    L"Please drop an email with related details to support@morvexsoft.com to get this fixed.";
const WCHAR s_szWriteFailed[] =
    L"Could Not Store New Keyboard Layout to Registry Database.\n\n"
    L"This may be due to Access Rights Issue or Something Else.\n"
    L"Please drop an email with related details to support@morvexsoft.com to get this fixed.";
const WCHAR s_szBackupFile[] = L"D:\\RegistryData.reg";
}  // namespace

void CMorvexDisablerDlg::LoadLayoutFromRegistry()
{
    m_bChangesPending = FALSE;
    for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
        KeyMember(nRow) = FALSE;
    m_mapDisabledKeys.RemoveAll();

    // A key or value that is missing or cannot be read means that no key is switched off.
    const CLayoutScope scope = CLayoutScope::For(m_bApplyChangesForAllUsers);
    CRegKey key(*m_pRegistry);
    CByteArray value;
    DWORD dwType = 0;
    if (key.Open(scope.hRoot, scope.pszPath, KEY_READ) == ERROR_SUCCESS &&
        key.QueryValue(g_szScancodeMapValue, &dwType, value) == ERROR_SUCCESS)
    {
        CDisabledKeyMap::Load(m_mapDisabledKeys, value.GetData(), static_cast<size_t>(value.GetSize()));
        for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
            KeyMember(nRow) = CDisabledKeyMap::Contains(m_mapDisabledKeys, CKeyTable::At(nRow).Source());
    }
    UpdateData(FALSE);
}

BOOL CMorvexDisablerDlg::SaveLayoutToRegistry()
{
    const CLayoutScope scope = CLayoutScope::For(m_bApplyChangesForAllUsers);
    {
        // The current user's key may not exist yet. Whether this works shows in the open below.
        CRegKey created(*m_pRegistry);
        created.Create(scope.hRoot, scope.pszPath, KEY_ALL_ACCESS);
    }

    CRegKey key(*m_pRegistry);
    if (key.Open(scope.hRoot, scope.pszPath, KEY_ALL_ACCESS) != ERROR_SUCCESS)
    {
        MessageBox(s_szOpenFailed, nullptr, MB_ICONHAND);
        return FALSE;
    }

    if (m_mapDisabledKeys.IsEmpty())
    {
        const LSTATUS status = key.DeleteValue(g_szScancodeMapValue);
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        {
            MessageBox(s_szDeleteFailed, nullptr, MB_ICONHAND);
            return FALSE;
        }
    }
    else
    {
        CByteArray value;
        CDisabledKeyMap::Encode(m_mapDisabledKeys, value);
        if (key.SetValue(g_szScancodeMapValue, REG_BINARY, value.GetData(), static_cast<DWORD>(value.GetSize())) != ERROR_SUCCESS)
        {
            MessageBox(s_szWriteFailed, nullptr, MB_ICONHAND);
            return FALSE;
        }
        key.Flush();
    }
    m_bChangesPending = FALSE;
    return TRUE;
}

BOOL CMorvexDisablerDlg::CheckStoredLayout()
{
    m_bChangesPending = FALSE;

    const CLayoutScope scope = CLayoutScope::For(m_bApplyChangesForAllUsers);
    CRegKey key(*m_pRegistry);
    if (key.Open(scope.hRoot, scope.pszPath, KEY_READ) != ERROR_SUCCESS)
        return TRUE;

    // The backup is a courtesy: whether it can be written changes nothing.
    ::DeleteFileW(s_szBackupFile);
    key.Save(s_szBackupFile);

    CByteArray value;
    DWORD dwType = 0;
    if (key.QueryValue(g_szScancodeMapValue, &dwType, value) != ERROR_SUCCESS)
        return TRUE;
    return CDisabledKeyMap::StartsWithTableKeys(value.GetData(), static_cast<size_t>(value.GetSize()));
}
