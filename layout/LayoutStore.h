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
// The mutex that copies of the program, and other tools that wish to, take turns at the layout by.

// A key of the table is left alone, switched off (sent to nothing), or sent to another key.
enum class KeyState
{
    enabled,
    disabled,
    remapped,
};

// A change to some of the table's keys. A key to disable is sent to nothing, in its place when it
// has a mapping already, else last; a key to enable loses its mapping, whatever it was.
struct LayoutChange
{
    LayoutChange();

    // Asks for the key to be switched off or on, after every key asked for before.
    void Set(size_t nRow, BOOL bDisabled);

    KeySet disable = 0;
    KeySet enable = 0;
    // Keys to switch on only where they are switched off: a remap of one stays, whatever bKeepRemaps says.
    KeySet enableIfDisabled = 0;
    // Enabling leaves a key that another tool sent to another key as it is: that mapping is the
    // other tool's, not a key this program switched off.
    BOOL bKeepRemaps = FALSE;
    // The rows in the order their keys are changed, which is the order new mappings are added in:
    // the table's order unless Set said otherwise.
    uint8_t order[CKeyTable::kCount];
};

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

    // The keys of the table that the map sends to nothing.
    static KeySet DisabledKeys(const CMapStringToString& map);

    // The first four stored mappings are the dialog's four keys in table order.
    static BOOL StartsWithTableKeys(const BYTE* pData, size_t cbData);

    // What the map does with a table key, and with pnTarget, where a remapped key goes.
    static KeyState StateOf(const CMapStringToString& map, const DisableableKey& key, uint16_t* pnTarget = nullptr);
    // Ticks and clears keys as the dialog's check boxes do. TRUE when the value the map stands for
    // is now different.
    static BOOL Apply(CMapStringToString& map, const LayoutChange& change);
};

// What a scope holds under "Scancode Map". The keyboard driver reads a binary value only: a value
// of another type (text stored without a type, say) has no effect and holds no mappings.
enum class StoredLayoutType
{
    None,
    Binary,
    NotBinary,
};

// What one edit of a scope's stored layout found and did.
struct LayoutEdit
{
    enum Result
    {
        done,          // the value holds the change, written now or already
        busy,          // another copy of the program kept the layout for itself too long
        lockFailed,    // the turn at the layout could not be taken at all
        lockSquatted,  // the object of the turn's name is no copy's: another account made it, or it denies this one
        readFailed,    // the stored value could not be read: nothing was written
        openFailed,    // the scope's key cannot be opened for writing
        deleteFailed,  // the value cannot be removed
        writeFailed,   // the value cannot be written
        ctrlAltDelLost, // the change would leave both keys of keysLeftOff switched off: nothing was written
    };

    Result result = done;
    // The system's code of the step that failed.
    LSTATUS status = ERROR_SUCCESS;
    // The name of the turn, when it could not be taken.
    CString strLockName;
    // Who made the object that holds the turn's name, when it was squatted; empty when its owner
    // cannot be read, or it has none.
    CString strLockHolder;
    // The squatted object denies this account, which every copy's turn would let in.
    BOOL bLockDenied = FALSE;
    BOOL bWritten = FALSE;
    // The pairs, Ctrl keys or Alt keys, that a change refused as ctrlAltDelLost would have left off.
    KeySet keysLeftOff = 0;
    // The value as stored before and after, of whatever type; empty for none. After a failure, or
    // when nothing needed writing, after is a copy of before.
    StoredLayoutType typeBefore = StoredLayoutType::None;
    CByteArray before;
    StoredLayoutType typeAfter = StoredLayoutType::None;
    CByteArray after;

    // Who holds the name of the copies' turns, when no copy does. strShownHolder is strLockHolder
    // as the face shows text from outside: an account's name is anybody's to choose.
    CString LockSquattedText(const CString& strShownHolder) const;
    // Why a change that would leave keysLeftOff switched off was refused.
    CString CtrlAltDelLostText() const;
};

// The stored layout of one scope: read, written and checked with no user interface, so that every
// caller can say in its own way which step failed.
class CLayoutStore
{
public:
    // How long an edit waits for another copy of the program to finish its own.
    static constexpr DWORD kLockTimeoutMs = 10000;

    CLayoutStore(CRegistryApi& registry, BOOL bAllUsers);

    // Replaces the map's entries with every stored mapping, in stored order; a value that is not
    // binary holds none. ERROR_SUCCESS also when the key or the value is missing: nothing is stored.
    // Any other status is a read that failed, which must not pass for "nothing stored", or a save
    // after it would drop every mapping of other tools. pValue gets the value's bytes as stored.
    LSTATUS Load(CMapStringToString& map, StoredLayoutType* pType = nullptr, CByteArray* pValue = nullptr) const;
    // Reads the value afresh, applies the change to it and writes it when that changed it: what
    // another program stored since the caller last read the value stays. Copies of this program
    // take turns, so that none writes over a value another has read and not yet written.
    LayoutEdit::Result Edit(const LayoutChange& change, LayoutEdit& edit, DWORD dwLockTimeoutMs = kLockTimeoutMs) const;
    // Backs the scope's key up to pszBackupFile, then tells whether the stored value starts with the
    // four table keys in table order (TRUE too when nothing binary is stored).
    BOOL CheckStoredLayout(LPCWSTR pszBackupFile) const;

    // Saves the key to pszFile, keeping the earlier file until a complete new one can replace it.
    // Nothing is reported: a backup that cannot be written changes nothing else.
    static void BackUpKey(CRegKey& key, LPCWSTR pszFile);

private:
    // Writes the map as a well-formed value, or removes the value when the map is empty; the
    // scope's key is created when it is missing. status gets the system's code of a failed step.
    LayoutEdit::Result Save(const CMapStringToString& map, LSTATUS& status) const;
    LayoutEdit::Result EditLocked(const LayoutChange& change, LayoutEdit& edit, DWORD dwLockTimeoutMs) const;

    CRegistryApi& m_registry;
    CLayoutScope m_scope;
    BOOL m_bAllUsers;
};
