#include "system/ScopeSetting.h"

#include "framework/afxwin.h"

namespace
{
const WCHAR s_szSettings[] = L"Settings";
const WCHAR s_szScopeEntry[] = L"m_bApplyChangesForAllUsers";
}  // namespace

BOOL StoredScopeSetting(BOOL bDefault)
{
    return static_cast<BOOL>(AfxGetApp()->GetProfileInt(s_szSettings, s_szScopeEntry, bDefault));
}

void StoreScopeSetting(BOOL bAllUsers)
{
    AfxGetApp()->WriteProfileInt(s_szSettings, s_szScopeEntry, bAllUsers);
}

CString ScopeSettingKey()
{
    const CWinApp* pApp = AfxGetApp();
    CString strKey;
    strKey.Format(L"HKCU\\Software\\%s\\%s\\%s", pApp->m_pszRegistryKey, pApp->m_pszAppName, s_szSettings);
    return strKey;
}

LPCWSTR ScopeSettingEntry()
{
    return s_szScopeEntry;
}
