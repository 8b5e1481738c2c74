#include "app/CommandLine.h"

#include <string.h>
#include <wchar.h>

#include "ui/Messages.h"

namespace
{
// The names of CKeyTable's rows, in its order: as the command line takes them, and as it shows them.
struct KeyNames
{
    LPCWSTR pszSwitch;
    LPCWSTR pszShown;
};
const KeyNames s_keyNames[CKeyTable::kCount] = {
    { L"LWin", L"Left Windows" },
    { L"RWin", L"Right Windows" },
    { L"CapsLock", L"Caps Lock" },
    { L"LCtrl", L"Left Ctrl" },
};
const KeySet s_allKeys = (1u << CKeyTable::kCount) - 1;

enum Switch
{
    swDisable = 1,
    swEnable = 2,
    swStatus = 4,
    swRestart = 8,
    swQuiet = 16,
    swUsage = 32,
};
struct SwitchName
{
    LPCWSTR pszName;
    UINT nSwitch;
};
const SwitchName s_switches[] = {
    { L"disable", swDisable }, { L"enable", swEnable }, { L"status", swStatus },
    { L"restart", swRestart }, { L"quiet", swQuiet },   { L"?", swUsage },
};

const WCHAR s_szUsage[] =
    L"Usage: MorvexDisabler [/disable KEYS] [/enable KEYS] [/restart] [/quiet]\n"
    L"       MorvexDisabler /status [/quiet]\n"
    L"       MorvexDisabler /?\n"
    L"\n"
    L"  /disable KEYS  switch these keys off\n"
    L"  /enable KEYS   switch these keys on again\n"
    L"                 KEYS: LWin, RWin, CapsLock, LCtrl, comma-separated, or All\n"
    L"  /status        show which keys are switched off; changes nothing\n"
    L"  /restart       after storing a change, restart the computer (log off in the current-user scope)\n"
    L"  /quiet         never show a window, not even for errors\n"
    L"  /?             show this text\n"
    L"\n"
    L"Switches may start with / or -, in any case and order. Other tools' mappings are kept.\n"
    L"The scope is the program's setting: all users unless it says the current user.\n"
    L"\n"
    L"Exit codes:\n"
    L"  0     done, nothing needed changing (also /status and /?)\n"
    L"  3010  stored; restart (or log off) for it to take effect\n"
    L"  1641  stored, and the restart (or log-off) requested\n"
    L"  87    bad arguments\n"
    L"  5     the layout's registry key cannot be opened for writing\n"
    L"  1     the layout could not be stored, or the restart was refused after storing\n";

// An argument as an error names it: cut short, since it may be as long as a command line can be.
CString Quoted(LPCWSTR pszArgument)
{
    const int kShown = 40;
    CString strShown;
    if (wcslen(pszArgument) > static_cast<size_t>(kShown))
        strShown.Format(L"\"%.*s...\"", kShown, pszArgument);
    else
        strShown.Format(L"\"%s\"", pszArgument);
    return strShown;
}

LPCWSTR SwitchText(UINT nSwitch)
{
    return nSwitch == swDisable ? L"/disable" : L"/enable";
}

CString KeyList(KeySet keys)
{
    CString strList;
    for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
    {
        if ((keys & (1u << nRow)) == 0)
            continue;
        if (!strList.IsEmpty())
            strList += L", ";
        strList += s_keyNames[nRow].pszSwitch;
    }
    return strList;
}

BOOL SameBytes(const CByteArray& a, const CByteArray& b)
{
    return a.GetSize() == b.GetSize() && memcmp(a.GetData(), b.GetData(), static_cast<size_t>(a.GetSize())) == 0;
}
}  // namespace

// ---- Parsing ---------------------------------------------------------------------------------------

void CMorvexCommandLineInfo::ParseParam(const WCHAR* pszParam, BOOL bFlag, BOOL bLast)
{
    ++m_nArguments;
    const UINT nKeysFor = m_nAwaitingKeys;
    m_nAwaitingKeys = 0;
    if (nKeysFor != 0 && !bFlag)
    {
        KeySet keys = 0;
        CString strBad;
        if (ParseKeys(pszParam, keys, strBad))
            (nKeysFor == swDisable ? m_disable : m_enable) |= keys;
        else if (strBad.IsEmpty())
            Fail(L"%s needs a list of keys: LWin, RWin, CapsLock, LCtrl or All.", SwitchText(nKeysFor));
        else
            Fail(L"Unknown key %s: the keys are LWin, RWin, CapsLock, LCtrl and All.", Quoted(strBad));
    }
    else
    {
        if (nKeysFor != 0)
            Fail(L"%s needs a list of keys: LWin, RWin, CapsLock, LCtrl or All.", SwitchText(nKeysFor));
        if (bFlag)
            ParseSwitch(pszParam);
        else
            Fail(L"Unexpected argument %s.", Quoted(pszParam));
    }

    if (bLast)
    {
        if (m_nAwaitingKeys != 0)
            Fail(L"%s needs a list of keys: LWin, RWin, CapsLock, LCtrl or All.", SwitchText(m_nAwaitingKeys));
        CheckCombination();
    }
}

void CMorvexCommandLineInfo::ParseSwitch(const WCHAR* pszName)
{
    for (const SwitchName& name : s_switches)
    {
        if (_wcsicmp(pszName, name.pszName) != 0)
            continue;
        if ((m_nSwitchesSeen & name.nSwitch) != 0)
            Fail(L"The switch /%s is given twice.", name.pszName);
        m_nSwitchesSeen |= name.nSwitch;
        switch (name.nSwitch)
        {
        case swDisable:
        case swEnable:
            m_nAwaitingKeys = name.nSwitch;
            break;
        case swStatus:
            m_bStatus = TRUE;
            break;
        case swRestart:
            m_bRestart = TRUE;
            break;
        case swQuiet:
            m_bQuiet = TRUE;
            break;
        default:
            m_bUsage = TRUE;
            break;
        }
        return;
    }
    CString strSwitch(L"/");
    strSwitch += pszName;
    Fail(L"Unknown switch %s.", Quoted(strSwitch));
}

void CMorvexCommandLineInfo::CheckCombination()
{
    if ((m_disable & m_enable) != 0)
        Fail(L"Named in both /disable and /enable: %s.", KeyList(m_disable & m_enable));
    const BOOL bChange = (m_nSwitchesSeen & (swDisable | swEnable)) != 0;
    if (m_bStatus && (bChange || m_bRestart))
        Fail(L"/status changes nothing, so it goes without /disable, /enable and /restart.");
    if (m_bRestart && !bChange)
        Fail(L"/restart goes with /disable or /enable.");
    if (!bChange && !m_bStatus && !m_bUsage)
        Fail(L"Nothing to do: give /disable, /enable, /status or /?.");
}

void CMorvexCommandLineInfo::Fail(LPCWSTR pszFormat, LPCWSTR pszArgument)
{
    // The first fault is the one to fix; the ones after it may only follow from it.
    if (m_strError.IsEmpty())
        m_strError.Format(pszFormat, pszArgument);
}

BOOL CMorvexCommandLineInfo::ParseKeys(LPCWSTR pszList, KeySet& keys, CString& strBad)
{
    keys = 0;
    strBad.Empty();
    const WCHAR* pszItem = pszList;
    for (;;)
    {
        const WCHAR* pszEnd = wcschr(pszItem, L',');
        if (pszEnd == nullptr)
            pszEnd = pszItem + wcslen(pszItem);
        // Spaces around a name are a quoted list's, not the name's.
        const WCHAR* pszFirst = pszItem;
        const WCHAR* pszLast = pszEnd;
        while (pszFirst < pszLast && (*pszFirst == L' ' || *pszFirst == L'\t'))
            ++pszFirst;
        while (pszLast > pszFirst && (pszLast[-1] == L' ' || pszLast[-1] == L'\t'))
            --pszLast;
        const size_t nLength = static_cast<size_t>(pszLast - pszFirst);
        if (nLength == 0)
            return FALSE;

        KeySet key = 0;
        if (nLength == 3 && _wcsnicmp(pszFirst, L"All", 3) == 0)
            key = s_allKeys;
        for (size_t nRow = 0; nRow < CKeyTable::kCount && key == 0; ++nRow)
        {
            const WCHAR* pszName = s_keyNames[nRow].pszSwitch;
            if (wcslen(pszName) == nLength && _wcsnicmp(pszFirst, pszName, nLength) == 0)
                key = 1u << nRow;
        }
        if (key == 0)
        {
            strBad.Format(L"%.*s", static_cast<int>(nLength), pszFirst);
            return FALSE;
        }
        keys |= key;

        if (*pszEnd == L'\0')
            return TRUE;
        pszItem = pszEnd + 1;
    }
}

// ---- Carrying it out -------------------------------------------------------------------------------

BOOL CCommandLine::Edit(CMapStringToString& map, KeySet disable, KeySet enable)
{
    CByteArray before, after;
    CDisabledKeyMap::Encode(map, before);
    CString strKeyText;
    for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
    {
        if ((disable & (1u << nRow)) != 0)
            CDisabledKeyMap::SetKeyDisabled(map, CKeyTable::At(nRow), TRUE, strKeyText);
        else if ((enable & (1u << nRow)) != 0)
            CDisabledKeyMap::SetKeyDisabled(map, CKeyTable::At(nRow), FALSE, strKeyText);
    }
    CDisabledKeyMap::Encode(map, after);
    return !SameBytes(before, after);
}

CString CCommandLine::StatusText(const CMapStringToString& map, StoredLayoutType type, BOOL bAllUsers)
{
    CString strText, strLine;
    INT_PTR nOthers = map.GetCount();
    for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
    {
        // As the dialog's check box shows it: any mapping of the key's own counts.
        const BOOL bDisabled = CDisabledKeyMap::Contains(map, CKeyTable::At(nRow).Source());
        nOthers -= bDisabled;
        strLine.Format(L"%s: %s\n", s_keyNames[nRow].pszShown, bDisabled ? L"disabled" : L"enabled");
        strText += strLine;
    }
    const CLayoutScope scope = CLayoutScope::For(bAllUsers);
    strLine.Format(L"Scope: %s (%s\\%s)\n", bAllUsers ? L"all users" : L"current user",
                   bAllUsers ? L"HKEY_LOCAL_MACHINE" : L"HKEY_CURRENT_USER", scope.pszPath);
    strText += strLine;
    strLine.Format(L"Other mappings: %d\n", static_cast<int>(nOthers));
    strText += strLine;
    if (type == StoredLayoutType::NotBinary)
        strText += L"The stored Scancode Map value is not binary: Windows ignores it, so it switches no key off.\n";
    return strText;
}

LPCWSTR CCommandLine::UsageText()
{
    return s_szUsage;
}

int CCommandLine::Run(const CMorvexCommandLineInfo& info, CRegistryApi& registry, CSessionControl& session, BOOL bAllUsers,
                      CCommandLineOutput& output)
{
    if (!info.m_strError.IsEmpty())
    {
        CString strText(info.m_strError);
        strText += L"\n\n";
        strText += s_szUsage;
        output.Write(strText, CCommandLineOutput::error);
        return exitBadArguments;
    }
    if (info.m_bUsage)
    {
        output.Write(s_szUsage, CCommandLineOutput::usage);
        return exitDone;
    }
    // Checked before anything is read: the run fails whole rather than storing a change that waits
    // for a log-off nobody asked for.
    if (info.m_bRestart && !session.CanRequest(bAllUsers))
    {
        output.Write(L"/restart cannot log off from here: a log-off applies to the session the program runs in, "
                     L"which is not a user's interactive session (a deployment agent's or a service's, say). "
                     L"Nothing was changed.\nRun it without /restart, then log off and log on again yourself.",
                     CCommandLineOutput::error);
        return exitFailed;
    }

    const CLayoutStore store(registry, bAllUsers);
    CMapStringToString map;
    const StoredLayoutType type = store.Load(map);
    if (info.m_bStatus)
    {
        output.Write(StatusText(map, type, bAllUsers), CCommandLineOutput::info);
        return exitDone;
    }
    if (!Edit(map, info.m_disable, info.m_enable))
    {
        // A second identical run: nothing is written, so the value keeps its bytes and its time.
        CString strText = StatusText(map, type, bAllUsers);
        strText += L"Nothing to change.";
        output.Write(strText, CCommandLineOutput::info);
        return exitDone;
    }

    const CLayoutStore::SaveResult result = store.Save(map);
    if (result != CLayoutStore::saved)
    {
        output.Write(SaveFailureText(result), CCommandLineOutput::error);
        return result == CLayoutStore::openFailed ? exitAccessDenied : exitFailed;
    }

    CString strText = StatusText(map, map.IsEmpty() ? StoredLayoutType::None : StoredLayoutType::Binary, bAllUsers);
    if (!info.m_bRestart)
    {
        strText += bAllUsers ? L"Stored. Restart the computer for the changes to be in effect."
                             : L"Stored. Log off and log on again for the changes to be in effect.";
        output.Write(strText, CCommandLineOutput::info);
        return exitRestartNeeded;
    }
    // Said before the request: once it is accepted, the session may end before anything else is.
    strText += bAllUsers ? L"Stored. Asking Windows to restart the computer." : L"Stored. Asking Windows to log off.";
    output.Write(strText, CCommandLineOutput::info);
    if (!session.RequestRestartOrLogOff(bAllUsers))
    {
        output.Write(ScopeTexts::For(bAllUsers).pszRequestFailed, CCommandLineOutput::error);
        return exitFailed;
    }
    return exitRestartRequested;
}
