// Where the stored layout lives, and the disabled-key map's text form and its conversion to and from bytes.
#pragma once

#include "framework/afxcoll.h"
#include "layout/KeyTable.h"
#include "layout/ScancodeMap.h"

// The two places the keyboard driver reads "Scancode Map" from.
struct CLayoutScope
{
    HKEY hRoot;
    LPCWSTR pszPath;

    // Machine-wide when bAllUsers is nonzero, the signed-on user's otherwise.
    static CLayoutScope For(BOOL bAllUsers);
};

extern const WCHAR g_szScancodeMapValue[];

// The disabled-key map holds one entry per stored or chosen mapping: the source scan code (prefix
// in the high byte) as decimal text, mapped to the target scan code as decimal text. Entries keep
// the order they were read or added in, so an unchanged map writes back the value it was read from.
class CDisabledKeyMap
{
public:
    static CString KeyText(uint16_t nSource);
    static CString ValueText(uint16_t nTarget);

    // Adds every mapping of a stored value, in stored order; a later mapping of the same source
    // replaces the target of the earlier one.
    static void Load(CMapStringToString& map, const BYTE* pData, size_t cbData);
    // The well-formed value of the map's entries, in the map's order.
    static void Encode(const CMapStringToString& map, CByteArray& value);

    // TRUE when some entry has exactly this source, whatever it is mapped to.
    static BOOL Contains(const CMapStringToString& map, uint16_t nSource);
    // Ticking a key maps its source to nothing, in place if it is there already, else last;
    // clearing it removes that source's entry and nothing else.
    static void SetKeyDisabled(CMapStringToString& map, const DisableableKey& key, BOOL bDisabled, CString& strKeyText);

    // The first four stored mappings are the four table keys in table order.
    static BOOL StartsWithTableKeys(const BYTE* pData, size_t cbData);
};
