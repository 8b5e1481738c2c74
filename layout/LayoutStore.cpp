#include "layout/LayoutStore.h"

#include <stdlib.h>
#include <string.h>

#include "layout/LayoutEffect.h"
#include "layout/LayoutLock.h"

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

BOOL SameBytes(const CByteArray& a, const CByteArray& b)
{
    return a.GetSize() == b.GetSize() && memcmp(a.GetData(), b.GetData(), static_cast<size_t>(a.GetSize())) == 0;
}
}  // namespace

CString LayoutEdit::LockSquattedText(const CString& strShownHolder) const
{
    CString strText;
    if (!bLockDenied)
        strText.Format(L"The name %s is held by an object that %s made, not SYSTEM or an administrator.", strLockName.GetString(),
                       strShownHolder.IsEmpty() ? L"an unknown account" : strShownHolder.GetString());
    else if (strShownHolder.IsEmpty())
        strText.Format(L"The name %s is held by an object of an account that cannot be identified, which no copy of this program "
                       L"may use.", strLockName.GetString());
    else
        strText.Format(L"The name %s is held by an object that %s made, which no copy of this program may use.",
                       strLockName.GetString(), strShownHolder.GetString());
    return strText;
}

CString LayoutEdit::CtrlAltDelLostText() const
{
    const BOOL bCtrl = (keysLeftOff & CKeyTable::kCtrlKeys) != 0, bAlt = (keysLeftOff & CKeyTable::kAltKeys) != 0;
    CString strText;
    strText.Format(L"This would switch off both %s keys: on a computer that asks for Ctrl+Alt+Del at sign-in, nobody could "
                   L"sign in. Keep %s switched on.",
                   bCtrl && bAlt ? L"Ctrl keys and both Alt" : bCtrl ? L"Ctrl" : L"Alt",
                   bCtrl && bAlt ? L"LCtrl or RCtrl, and LAlt or RAlt," : bCtrl ? L"LCtrl or RCtrl" : L"LAlt or RAlt");
    return strText;
}

LayoutChange::LayoutChange()
{
    for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
        order[nRow] = static_cast<uint8_t>(nRow);
}

void LayoutChange::Set(size_t nRow, BOOL bDisabled)
{
    const KeySet bit = CKeyTable::Bit(nRow);
    disable = bDisabled ? disable | bit : disable & ~bit;
    enable = bDisabled ? enable & ~bit : enable | bit;
    size_t nAt = 0;
    while (order[nAt] != nRow)
        ++nAt;
    for (; nAt + 1 < CKeyTable::kCount; ++nAt)
        order[nAt] = order[nAt + 1];
    order[CKeyTable::kCount - 1] = static_cast<uint8_t>(nRow);
}

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

KeyState CDisabledKeyMap::StateOf(const CMapStringToString& map, const DisableableKey& key, uint16_t* pnTarget)
{
    CString strTarget;
    if (!map.Lookup(KeyText(key.Source()), strTarget))
        return KeyState::enabled;
    const uint16_t nTarget = ParseScanCode(strTarget);
    if (pnTarget != nullptr)
        *pnTarget = nTarget;
    return nTarget == 0 ? KeyState::disabled : KeyState::remapped;
}

BOOL CDisabledKeyMap::Apply(CMapStringToString& map, const LayoutChange& change)
{
    CByteArray before, after;
    Encode(map, before);
    CString strKeyText;
    for (size_t nRow : change.order)
    {
        const DisableableKey& key = CKeyTable::At(nRow);
        if ((change.disable & CKeyTable::Bit(nRow)) != 0)
            SetKeyDisabled(map, key, TRUE, strKeyText);
        else if ((change.enable & CKeyTable::Bit(nRow)) != 0 && !(change.bKeepRemaps && StateOf(map, key) == KeyState::remapped))
            SetKeyDisabled(map, key, FALSE, strKeyText);
        else if ((change.enableIfDisabled & CKeyTable::Bit(nRow)) != 0 && StateOf(map, key) == KeyState::disabled)
            SetKeyDisabled(map, key, FALSE, strKeyText);
    }
    Encode(map, after);
    return !SameBytes(before, after);
}

KeySet CDisabledKeyMap::DisabledKeys(const CMapStringToString& map)
{
    KeySet keys = 0;
    for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
    {
        if (StateOf(map, CKeyTable::At(nRow)) == KeyState::disabled)
            keys |= CKeyTable::Bit(nRow);
    }
    return keys;
}

BOOL CDisabledKeyMap::StartsWithTableKeys(const BYTE* pData, size_t cbData)
{
    // Only the source low bytes of the first four entries count; bytes the value does not have
    // count as different.
    for (size_t nRow = 0; nRow < CKeyTable::kDialogCount; ++nRow)
    {
        const size_t nOffset = CScancodeMap::kHeaderSize + nRow * CScancodeMap::kEntrySize + 2;
        if (nOffset >= cbData || pData[nOffset] != CKeyTable::At(nRow).nLowByte)
            return FALSE;
    }
    return TRUE;
}

CLayoutStore::CLayoutStore(CRegistryApi& registry, BOOL bAllUsers)
    : m_registry(registry), m_scope(CLayoutScope::For(bAllUsers)), m_bAllUsers(bAllUsers)
{
}

LSTATUS CLayoutStore::Load(CMapStringToString& map, StoredLayoutType* pType, CByteArray* pValue) const
{
    map.RemoveAll();
    StoredLayoutType type = StoredLayoutType::None;
    CByteArray value;
    CRegKey key(m_registry);
    DWORD dwType = REG_NONE;
    LSTATUS status = key.Open(m_scope.hRoot, m_scope.pszPath, KEY_READ);
    if (status == ERROR_SUCCESS)
        status = key.QueryValue(g_szScancodeMapValue, &dwType, value);
    if (status == ERROR_SUCCESS)
    {
        type = dwType == REG_BINARY ? StoredLayoutType::Binary : StoredLayoutType::NotBinary;
        if (type == StoredLayoutType::Binary)
            CDisabledKeyMap::Load(map, value.GetData(), static_cast<size_t>(value.GetSize()));
    }
    else if (status == ERROR_FILE_NOT_FOUND)
    {
        status = ERROR_SUCCESS;
    }
    if (pType != nullptr)
        *pType = type;
    if (pValue != nullptr)
        pValue->Copy(value);
    return status;
}

LayoutEdit::Result CLayoutStore::Save(const CMapStringToString& map, LSTATUS& status) const
{
    {
        // The current user's key may not exist yet. Whether this works shows in the open below.
        CRegKey created(m_registry);
        created.Create(m_scope.hRoot, m_scope.pszPath, KEY_ALL_ACCESS);
    }

    CRegKey key(m_registry);
    status = key.Open(m_scope.hRoot, m_scope.pszPath, KEY_ALL_ACCESS);
    if (status != ERROR_SUCCESS)
        return LayoutEdit::openFailed;

    if (map.IsEmpty())
    {
        status = key.DeleteValue(g_szScancodeMapValue);
        if (status == ERROR_FILE_NOT_FOUND)
            status = ERROR_SUCCESS;
        if (status != ERROR_SUCCESS)
            return LayoutEdit::deleteFailed;
    }
    else
    {
        // Written as binary whatever was stored before: a value of another type never took effect.
        CByteArray value;
        CDisabledKeyMap::Encode(map, value);
        status = key.SetValue(g_szScancodeMapValue, REG_BINARY, value.GetData(), static_cast<DWORD>(value.GetSize()));
        if (status != ERROR_SUCCESS)
            return LayoutEdit::writeFailed;
        key.Flush();
    }
    // Made after the change, so that a failed one leaves no restart due. A key that cannot be made
    // changes nothing else: the times then decide, as they do for other programs' changes.
    if (m_bAllUsers)
        CLayoutEffect::MarkRestartPending(m_registry);
    return LayoutEdit::done;
}

LayoutEdit::Result CLayoutStore::Edit(const LayoutChange& change, LayoutEdit& edit, DWORD dwLockTimeoutMs) const
{
    edit.result = EditLocked(change, edit, dwLockTimeoutMs);
    if (!edit.bWritten)
    {
        edit.typeAfter = edit.typeBefore;
        edit.after.Copy(edit.before);
    }
    return edit.result;
}

LayoutEdit::Result CLayoutStore::EditLocked(const LayoutChange& change, LayoutEdit& edit, DWORD dwLockTimeoutMs) const
{
    edit.bWritten = FALSE;
    edit.status = ERROR_SUCCESS;
    edit.keysLeftOff = 0;
    edit.strLockHolder.Empty();
    edit.strLockName.Empty();
    edit.bLockDenied = FALSE;
    edit.typeBefore = StoredLayoutType::None;
    edit.before.RemoveAll();

    // Held from the read to the write and no longer: never while anyone is asked anything.
    CLayoutLock lock(m_bAllUsers);
    const LayoutEdit::Result turn = lock.Take(dwLockTimeoutMs, edit);
    if (turn != LayoutEdit::done)
        return turn;
    edit.status = ERROR_SUCCESS;

    CMapStringToString map;
    edit.status = Load(map, &edit.typeBefore, &edit.before);
    if (edit.status != ERROR_SUCCESS)
        return LayoutEdit::readFailed;
    if (!CDisabledKeyMap::Apply(map, change))
        return LayoutEdit::done;
    // Where Windows asks for Ctrl+Alt+Del at sign-in, nobody could sign in any more. Judged on the
    // value as stored, so that two runs cannot do it in two halves.
    edit.keysLeftOff = CKeyTable::PairLeftOff(CDisabledKeyMap::DisabledKeys(map), change.disable);
    if (edit.keysLeftOff != 0)
        return LayoutEdit::ctrlAltDelLost;

    const LayoutEdit::Result result = Save(map, edit.status);
    if (result != LayoutEdit::done)
        return result;
    edit.bWritten = TRUE;
    edit.typeAfter = map.IsEmpty() ? StoredLayoutType::None : StoredLayoutType::Binary;
    edit.after.RemoveAll();
    if (!map.IsEmpty())
        CDisabledKeyMap::Encode(map, edit.after);
    return LayoutEdit::done;
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
