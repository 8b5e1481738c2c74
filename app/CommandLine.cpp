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
    L"  /enable KEYS   switch these keys on again (a key another tool remapped stays so)\n"
    L"                 KEYS: LWin, RWin, CapsLock, LCtrl, comma-separated, or All\n"
    L"  /status        show which keys are switched off or remapped; changes nothing\n"
    L"  /restart       after storing a change, restart the computer (log off in the current-user scope)\n"
    L"  /quiet         never show a window, not even for errors\n"
    L"  /?             show this text; goes alone\n"
    L"\n"
    L"Switches may start with / or -, in any case and order. Other tools' mappings are kept.\n"
    L"The scope is the program's setting: all users unless it says the current user.\n"
    L"\n"
    L"Exit codes:\n"
    L"  0     done, nothing needed changing (also /status and /?)\n"
    L"  3010  stored; restart (or log off) for it to take effect\n"
    L"  1641  stored, and the restart (or log-off) requested\n"
    L"  87    bad arguments\n"
    L"  5     access to the layout's registry key was denied; nothing was changed\n"
    L"  1618  another copy was changing the layout; nothing was changed, try again later\n"
    L"  1     the layout could not be read or stored, or the restart was refused after storing\n";

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
        if ((keys & CKeyTable::Bit(nRow)) == 0)
            continue;
        if (!strList.IsEmpty())
            strList += L", ";
        strList += s_keyNames[nRow].pszSwitch;
    }
    return strList;
}
}  // namespace

// ---- Parsing ---------------------------------------------------------------------------------------

void CMorvexCommandLineInfo::ParseParam(const WCHAR* pszParam, BOOL bFlag, BOOL bLast)
{
    ++m_nArguments;
    const UINT nKeysFor = m_nAwaitingKeys;
    const UINT nListBefore = m_nListBefore;
    const BOOL bListBeforeEndedInComma = m_bListEndsInComma;
    m_nAwaitingKeys = 0;
    m_nListBefore = 0;
    m_bListEndsInComma = FALSE;
    if (bListBeforeEndedInComma && bFlag)
        Fail(L"An empty name in the list " + Quoted(m_strListBefore) + L": separate the keys with one comma each.");
    if (nKeysFor != 0 && !bFlag)
        ParseKeyList(nKeysFor, pszParam, bLast);
    else
    {
        if (nKeysFor != 0)
            Fail(CString(SwitchText(nKeysFor)) + L" needs a list of keys: LWin, RWin, CapsLock, LCtrl or All.");
        if (bFlag)
            ParseSwitch(pszParam);
        else if (nListBefore != 0)
        {
            // "/disable LWin, RWin": the shell made two arguments of a list with a space in it.
            CString strError;
            strError.Format(L"Unexpected argument %s after the list of %s: separate the keys with commas, and quote a list "
                            L"that holds spaces, as in %s \"%s %s\".",
                            Quoted(pszParam).GetString(), SwitchText(nListBefore), SwitchText(nListBefore),
                            m_strListBefore.GetString(), pszParam);
            Fail(strError);
        }
        else
            Fail(L"Unexpected argument " + Quoted(pszParam) + L".");
    }

    if (bLast)
    {
        if (m_nAwaitingKeys != 0)
            Fail(CString(SwitchText(m_nAwaitingKeys)) + L" needs a list of keys: LWin, RWin, CapsLock, LCtrl or All.");
        CheckCombination();
    }
}

void CMorvexCommandLineInfo::ParseKeyList(UINT nSwitch, const WCHAR* pszList, BOOL bLast)
{
    m_nListBefore = nSwitch;
    m_strListBefore = pszList;
    KeySet keys = 0;
    CString strBad;
    const KeysParsed parsed = ParseKeys(pszList, keys, strBad);
    // "LWin," may go on in the next argument: what is wrong shows only there.
    const size_t nLength = wcslen(pszList);
    if (parsed == keysEmptyName && !bLast && nLength > 0 && pszList[nLength - 1] == L',')
    {
        m_bListEndsInComma = TRUE;
        return;
    }
    switch (parsed)
    {
    case keysGood:
        (nSwitch == swDisable ? m_disable : m_enable) |= keys;
        break;
    case keysEmptyList:
        Fail(CString(SwitchText(nSwitch)) + L" needs a list of keys: LWin, RWin, CapsLock, LCtrl or All.");
        break;
    case keysEmptyName:
        Fail(L"An empty name in the list " + Quoted(pszList) + L": separate the keys with one comma each.");
        break;
    case keysUnknown:
        Fail(L"Unknown key " + Quoted(strBad) + L": the keys are LWin, RWin, CapsLock, LCtrl and All.");
        break;
    }
}

void CMorvexCommandLineInfo::ParseSwitch(const WCHAR* pszName)
{
    for (const SwitchName& name : s_switches)
    {
        if (_wcsicmp(pszName, name.pszName) != 0)
            continue;
        if ((m_nSwitchesSeen & name.nSwitch) != 0)
            Fail(CString(L"The switch /") + name.pszName + L" is given twice.");
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
    Fail(L"Unknown switch " + Quoted(strSwitch) + L".");
}

void CMorvexCommandLineInfo::CheckCombination()
{
    if ((m_disable & m_enable) != 0)
        Fail(L"Named in both /disable and /enable: " + KeyList(m_disable & m_enable) + L".");
    const BOOL bChange = (m_nSwitchesSeen & (swDisable | swEnable)) != 0;
    // A stray /? in a script's command must not pass for the change having been made.
    if (m_bUsage && m_nArguments > 1)
        Fail(L"/? goes alone: it shows this text and does nothing else.");
    if (m_bStatus && (bChange || m_bRestart))
        Fail(L"/status changes nothing, so it goes without /disable, /enable and /restart.");
    if (m_bRestart && !bChange)
        Fail(L"/restart goes with /disable or /enable.");
    if (!bChange && !m_bStatus && !m_bUsage)
        Fail(L"Nothing to do: give /disable, /enable, /status or /?.");
}

void CMorvexCommandLineInfo::Fail(const CString& strError)
{
    // The first fault is the one to fix; the ones after it may only follow from it.
    if (m_strError.IsEmpty())
        m_strError = strError;
}

CMorvexCommandLineInfo::KeysParsed CMorvexCommandLineInfo::ParseKeys(LPCWSTR pszList, KeySet& keys, CString& strBad)
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
            return pszItem == pszList && *pszEnd == L'\0' ? keysEmptyList : keysEmptyName;

        KeySet key = 0;
        if (nLength == 3 && _wcsnicmp(pszFirst, L"All", 3) == 0)
            key = CKeyTable::kAllKeys;
        for (size_t nRow = 0; nRow < CKeyTable::kCount && key == 0; ++nRow)
        {
            const WCHAR* pszName = s_keyNames[nRow].pszSwitch;
            if (wcslen(pszName) == nLength && _wcsnicmp(pszFirst, pszName, nLength) == 0)
                key = CKeyTable::Bit(nRow);
        }
        if (key == 0)
        {
            strBad.Format(L"%.*s", static_cast<int>(nLength), pszFirst);
            return keysUnknown;
        }
        keys |= key;

        if (*pszEnd == L'\0')
            return keysGood;
        pszItem = pszEnd + 1;
    }
}

// ---- Carrying it out -------------------------------------------------------------------------------

namespace
{
// A key that another tool sends a key to: the table's name for it, else its scan code.
CString TargetText(uint16_t nTarget)
{
    for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
    {
        if (CKeyTable::At(nRow).Source() == nTarget)
            return s_keyNames[nRow].pszShown;
    }
    CString strText;
    strText.Format(L"scan code 0x%04X", static_cast<unsigned>(nTarget));
    return strText;
}

CString KeyPath(BOOL bAllUsers)
{
    CString strPath(bAllUsers ? L"HKEY_LOCAL_MACHINE\\" : L"HKEY_CURRENT_USER\\");
    strPath += CLayoutScope::For(bAllUsers).pszPath;
    return strPath;
}

void LoadMap(CMapStringToString& map, StoredLayoutType type, const CByteArray& value)
{
    map.RemoveAll();
    if (type == StoredLayoutType::Binary)
        CDisabledKeyMap::Load(map, value.GetData(), static_cast<size_t>(value.GetSize()));
}
}  // namespace

LayoutChange CCommandLine::ChangeOf(const CMorvexCommandLineInfo& info)
{
    LayoutChange change;
    change.disable = info.m_disable;
    change.enable = info.m_enable;
    change.bKeepRemaps = TRUE;
    return change;
}

CString CCommandLine::StatusText(const CMapStringToString& map, StoredLayoutType type, BOOL bAllUsers)
{
    CString strText, strLine;
    INT_PTR nOthers = map.GetCount();
    for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
    {
        uint16_t nTarget = 0;
        const KeyState state = CDisabledKeyMap::StateOf(map, CKeyTable::At(nRow), &nTarget);
        nOthers -= state != KeyState::enabled;
        const CString strState = state == KeyState::remapped ? L"remapped to " + TargetText(nTarget)
                                                             : CString(state == KeyState::disabled ? L"disabled" : L"enabled");
        strLine.Format(L"%s: %s\n", s_keyNames[nRow].pszShown, strState.GetString());
        strText += strLine;
    }
    strLine.Format(L"Scope: %s (%s)\n", bAllUsers ? L"all users" : L"current user", KeyPath(bAllUsers).GetString());
    strText += strLine;
    strLine.Format(L"Other mappings: %d\n", static_cast<int>(nOthers));
    strText += strLine;
    if (type == StoredLayoutType::NotBinary)
        strText += L"The stored Scancode Map value is not binary: Windows ignores it, so it switches no key off.\n";
    return strText;
}

CString CCommandLine::RemapText(const CMapStringToString& before, const LayoutChange& change)
{
    CString strText, strLine;
    for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
    {
        uint16_t nTarget = 0;
        if (CDisabledKeyMap::StateOf(before, CKeyTable::At(nRow), &nTarget) != KeyState::remapped)
            continue;
        const CString strTarget = TargetText(nTarget);
        if ((change.disable & CKeyTable::Bit(nRow)) != 0)
            strLine.Format(L"%s was remapped to %s by another mapping: now it is switched off.\n", s_keyNames[nRow].pszShown,
                           strTarget.GetString());
        else if ((change.enable & CKeyTable::Bit(nRow)) != 0)
            strLine.Format(L"%s is remapped to %s by another mapping, which is not this program's: left as it is.\n",
                           s_keyNames[nRow].pszShown, strTarget.GetString());
        else
            continue;
        strText += strLine;
    }
    return strText;
}

CString CCommandLine::FailureText(const LayoutEdit& edit, BOOL bAllUsers)
{
    CString strText;
    if (edit.result == LayoutEdit::busy)
    {
        strText.Format(L"Another copy of the program kept the keyboard layout for more than %lu seconds.",
                       CLayoutStore::kLockTimeoutMs / 1000);
        return strText;
    }
    // The step that failed, and what it failed on.
    LPCWSTR pszStep = L"read the value \"Scancode Map\" of ";
    LPCWSTR pszAfter = L"";
    if (edit.result == LayoutEdit::openFailed)
    {
        pszStep = L"open ";
        pszAfter = L" for writing";
    }
    else if (edit.result == LayoutEdit::deleteFailed)
        pszStep = L"delete the value \"Scancode Map\" of ";
    else if (edit.result == LayoutEdit::writeFailed)
        pszStep = L"write the value \"Scancode Map\" of ";
    strText.Format(L"Could not %s%s%s: %s", pszStep, KeyPath(bAllUsers).GetString(), pszAfter,
                   SystemErrorText(static_cast<DWORD>(edit.status)).GetString());
    return strText;
}

int CCommandLine::FailureExitCode(const LayoutEdit& edit)
{
    switch (edit.result)
    {
    case LayoutEdit::busy:
        return exitAlreadyRunning;
    case LayoutEdit::readFailed:
    case LayoutEdit::openFailed:
        return edit.status == ERROR_ACCESS_DENIED ? exitAccessDenied : exitFailed;
    case LayoutEdit::deleteFailed:
    case LayoutEdit::writeFailed:
        return exitFailed;
    case LayoutEdit::done:
        break;
    }
    return exitDone;
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
    if (info.m_bStatus)
    {
        // A value that cannot be read is not shown as nothing switched off.
        LayoutEdit read;
        CMapStringToString map;
        read.status = store.Load(map, &read.typeBefore);
        if (read.status != ERROR_SUCCESS)
        {
            read.result = LayoutEdit::readFailed;
            output.Write(FailureText(read, bAllUsers), CCommandLineOutput::error);
            return FailureExitCode(read);
        }
        output.Write(StatusText(map, read.typeBefore, bAllUsers), CCommandLineOutput::info);
        return exitDone;
    }

    const LayoutChange change = ChangeOf(info);
    LayoutEdit edit;
    if (store.Edit(change, edit) != LayoutEdit::done)
    {
        output.Write(FailureText(edit, bAllUsers) + L"\nNothing was changed.", CCommandLineOutput::error);
        return FailureExitCode(edit);
    }

    CMapStringToString before, after;
    LoadMap(before, edit.typeBefore, edit.before);
    LoadMap(after, edit.typeAfter, edit.after);
    CString strText = StatusText(after, edit.typeAfter, bAllUsers) + RemapText(before, change);
    if (!edit.bWritten)
    {
        // A second identical run: nothing is written, so the value keeps its bytes and its time.
        strText += L"Nothing to change.";
        output.Write(strText, CCommandLineOutput::info);
        return exitDone;
    }

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
