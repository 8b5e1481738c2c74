#include "layout/LayoutStore.h"

#include <stdlib.h>

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
