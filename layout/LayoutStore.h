// Where the stored layout lives, the disabled-key map's text form and bytes, and the store of a scope.
#pragma once

#include "framework/afxcoll.h"
#include "framework/afxreg.h"
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

// What a scope holds under "Scancode Map". The keyboard driver reads a binary value only: a value
// of another type (text stored without a type, say) has no effect and holds no mappings.
enum class StoredLayoutType
{
    None,
    Binary,
    NotBinary,
};

// The stored layout of one scope: read, written and checked with no user interface, so that every
// caller can say in its own way which step failed.
class CLayoutStore
{
public:
    enum SaveResult
    {
        saved,         // the value now holds the map, or is gone for an empty map
        openFailed,    // the scope's key cannot be opened for writing
        deleteFailed,  // the value cannot be removed
        writeFailed,   // the value cannot be written
    };

    CLayoutStore(CRegistryApi& registry, BOOL bAllUsers);

    // Replaces the map's entries with every stored mapping, in stored order. A missing key or
    // value, one that cannot be read, or one that is not binary reads as no mapping at all.
    StoredLayoutType Load(CMapStringToString& map) const;
    // Writes the map as a well-formed value, or removes the value when the map is empty; the
    // scope's key is created when it is missing.
    SaveResult Save(const CMapStringToString& map) const;
    // Backs the scope's key up to pszBackupFile, then tells whether the stored value starts with the
    // four table keys in table order (TRUE too when nothing binary is stored).
    BOOL CheckStoredLayout(LPCWSTR pszBackupFile) const;

    // Saves the key to pszFile, keeping the earlier file until a complete new one can replace it.
    // Nothing is reported: a backup that cannot be written changes nothing else.
    static void BackUpKey(CRegKey& key, LPCWSTR pszFile);

private:
    CRegistryApi& m_registry;
    CLayoutScope m_scope;
};
