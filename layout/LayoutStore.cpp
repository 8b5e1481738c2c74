#include "layout/LayoutStore.h"

#include <stdlib.h>

#include "framework/atlsecurity.h"

const WCHAR g_szScancodeMapValue[] = L"Scancode Map";

CLayoutScope CLayoutScope::For(BOOL bAllUsers)
{
    if (bAllUsers)
        return { HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Keyboard Layout" };
    return { HKEY_CURRENT_USER, L"Keyboard Layout" };
}

namespace
{
uint16_t ParseScanCode(LPCWSTR pszText)
{
    return static_cast<uint16_t>(_wtoi64(pszText));
}
}  // namespace

CString CDisabledKeyMap::KeyText(uint16_t nSource)
{
    CString strText;
    strText.Format(L"%u", static_cast<unsigned>(nSource));
    return strText;
}

CString CDisabledKeyMap::ValueText(uint16_t nTarget)
{
    return KeyText(nTarget);
}

void CDisabledKeyMap::Load(CMapStringToString& map, const BYTE* pData, size_t cbData)
{
    const size_t nMappings = CScancodeMap::CountMappings(pData, cbData);
    for (size_t k = 0; k < nMappings; ++k)
    {
        const ScancodeMapping mapping = CScancodeMap::MappingAt(pData, k);
        map[KeyText(mapping.nSource)] = ValueText(mapping.nTarget);
    }
}

void CDisabledKeyMap::Encode(const CMapStringToString& map, CByteArray& value)
{
    const size_t nMappings = static_cast<size_t>(map.GetCount());
    value.SetSize(static_cast<INT_PTR>(CScancodeMap::EncodedSize(nMappings)));
    CScancodeMap::BeginEncoding(value.GetData(), nMappings);
    CString strKey, strValue;
    size_t k = 0;
    for (POSITION pos = map.GetStartPosition(); pos != nullptr; ++k)
    {
        map.GetNextAssoc(pos, strKey, strValue);
        CScancodeMap::PutMapping(value.GetData(), k, ScancodeMapping{ ParseScanCode(strValue), ParseScanCode(strKey) });
    }
}

BOOL CDisabledKeyMap::Contains(const CMapStringToString& map, uint16_t nSource)
{
    CString strTarget;
    return map.Lookup(KeyText(nSource), strTarget);
}

void CDisabledKeyMap::SetKeyDisabled(CMapStringToString& map, const DisableableKey& key, BOOL bDisabled, CString& strKeyText)
{
    strKeyText = KeyText(key.Source());
    if (bDisabled)
        map[strKeyText] = ValueText(0);
    else
        map.RemoveKey(strKeyText);
}

BOOL CDisabledKeyMap::StartsWithTableKeys(const BYTE* pData, size_t cbData)
{
    // Only the source low bytes of the first four entries count; bytes the value does not have
    // count as different.
    for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
    {
        const size_t nOffset = CScancodeMap::kHeaderSize + nRow * CScancodeMap::kEntrySize + 2;
        if (nOffset >= cbData || pData[nOffset] != CKeyTable::At(nRow).nLowByte)
            return FALSE;
    }
    return TRUE;
}

CLayoutStore::CLayoutStore(CRegistryApi& registry, BOOL bAllUsers)
    : m_registry(registry), m_scope(CLayoutScope::For(bAllUsers))
{
}

StoredLayoutType CLayoutStore::Load(CMapStringToString& map) const
{
    map.RemoveAll();
    CRegKey key(m_registry);
    CByteArray value;
    DWORD dwType = REG_NONE;
    if (key.Open(m_scope.hRoot, m_scope.pszPath, KEY_READ) != ERROR_SUCCESS ||
        key.QueryValue(g_szScancodeMapValue, &dwType, value) != ERROR_SUCCESS)
        return StoredLayoutType::None;
    if (dwType != REG_BINARY)
        return StoredLayoutType::NotBinary;
    CDisabledKeyMap::Load(map, value.GetData(), static_cast<size_t>(value.GetSize()));
    return StoredLayoutType::Binary;
}

CLayoutStore::SaveResult CLayoutStore::Save(const CMapStringToString& map) const
{
    {
        // The current user's key may not exist yet. Whether this works shows in the open below.
        CRegKey created(m_registry);
        created.Create(m_scope.hRoot, m_scope.pszPath, KEY_ALL_ACCESS);
    }

    CRegKey key(m_registry);
    if (key.Open(m_scope.hRoot, m_scope.pszPath, KEY_ALL_ACCESS) != ERROR_SUCCESS)
        return openFailed;

    if (map.IsEmpty())
    {
        const LSTATUS status = key.DeleteValue(g_szScancodeMapValue);
        return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? saved : deleteFailed;
    }

    // Written as binary whatever was stored before: a value of another type never took effect.
    CByteArray value;
    CDisabledKeyMap::Encode(map, value);
    if (key.SetValue(g_szScancodeMapValue, REG_BINARY, value.GetData(), static_cast<DWORD>(value.GetSize())) != ERROR_SUCCESS)
        return writeFailed;
    key.Flush();
    return saved;
}

BOOL CLayoutStore::CheckStoredLayout(LPCWSTR pszBackupFile) const
{
    CRegKey key(m_registry);
    if (key.Open(m_scope.hRoot, m_scope.pszPath, KEY_READ) != ERROR_SUCCESS)
        return TRUE;

    BackUpKey(key, pszBackupFile);

    CByteArray value;
    DWORD dwType = REG_NONE;
    if (key.QueryValue(g_szScancodeMapValue, &dwType, value) != ERROR_SUCCESS || dwType != REG_BINARY)
        return TRUE;
    return CDisabledKeyMap::StartsWithTableKeys(value.GetData(), static_cast<size_t>(value.GetSize()));
}

void CLayoutStore::BackUpKey(CRegKey& key, LPCWSTR pszFile)
{
    // An empty removable drive D: must answer "not ready", not raise the system's "no disk" box.
    DWORD dwOldMode = 0;
    ::SetThreadErrorMode(::GetThreadErrorMode() | SEM_FAILCRITICALERRORS, &dwOldMode);

    // The save refuses to overwrite, and a failed one leaves a partial file behind: it goes to a
    // file of its own, which replaces the earlier backup only once it is complete.
    CString strNewFile(pszFile);
    strNewFile += L".new";
    ::DeleteFileW(strNewFile);

    // Saving a key needs the backup privilege, which an administrator's token holds disabled; it is
    // enabled for this save only.
    CAccessToken token;
    TOKEN_PRIVILEGES previousState = {};
    const BOOL bEnabled = token.GetProcessToken(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY) &&
                          token.EnablePrivilege(SE_BACKUP_NAME, &previousState);
    const LSTATUS status = key.Save(strNewFile);
    if (bEnabled)
        token.RestorePrivileges(previousState);

    if (status != ERROR_SUCCESS ||
        !::MoveFileExW(strNewFile, pszFile, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        ::DeleteFileW(strNewFile);

    ::SetThreadErrorMode(dwOldMode, nullptr);
}
