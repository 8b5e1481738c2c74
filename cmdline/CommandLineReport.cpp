#include "cmdline/CommandLineReport.h"

#include "cmdline/CommandLineLog.h"
#include "cmdline/JsonWriter.h"
#include "cmdline/TimeText.h"
#include "system/ScopeSetting.h"
#include "system/ShownText.h"
#include "system/SystemErrorText.h"

namespace
{
// A key another tool sends a key to, as the lines name it (the table's label, else the scan code)
// or as scripts read it (the table's name, else the scan code).
CString TargetText(uint16_t nTarget, BOOL bForScripts)
{
    for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
    {
        const DisableableKey& key = CKeyTable::At(nRow);
        if (key.Source() == nTarget)
            return bForScripts ? key.pszName : key.pszLabel;
    }
    CString strText;
    strText.Format(bForScripts ? L"0x%04X" : L"scan code 0x%04X", static_cast<unsigned>(nTarget));
    return strText;
}

// The dialog's four always, the other keys of the table where the map does something with them.
BOOL IsShown(const CMapStringToString& map, size_t nRow)
{
    return nRow < CKeyTable::kDialogCount || CDisabledKeyMap::StateOf(map, CKeyTable::At(nRow)) != KeyState::enabled;
}

// Mappings other than those of the keys shown.
int OtherMappings(const CMapStringToString& map)
{
    INT_PTR nOthers = map.GetCount();
    for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
        nOthers -= CDisabledKeyMap::StateOf(map, CKeyTable::At(nRow)) != KeyState::enabled;
    return static_cast<int>(nOthers);
}

CString TimeOrUnknown(const FILETIME& ftUtc)
{
    const CString strTime = LocalTimeText(ftUtc);
    return strTime.IsEmpty() ? CString(L"an unknown time") : strTime;
}

// The setting as it stands, and the one command that leaves the current user's scope, to be run as
// the account whose setting it is (as SYSTEM too, where HKCU is SYSTEM's own hive).
CString ScopeSettingLines()
{
    const CString strKey = ScopeSettingKey();
    const CString strAccount = CCommandLineLog::ProcessAccountName();
    CString strText = L"The scope comes from the setting " + CString(ScopeSettingEntry()) + L" = 0 in " + strKey;
    if (!strAccount.IsEmpty())
        strText += L" of the account " + strAccount;
    strText += L". For all users, delete it as that account (or set it to 1):\nreg delete \"" + strKey + L"\" /v " +
               ScopeSettingEntry() + L" /f";
    return strText;
}
}  // namespace

BOOL CCommandLineReport::Succeeded() const
{
    return m_nExitCode == exitDone || m_nExitCode == exitRestartNeeded || m_nExitCode == exitRestartRequested;
}

LPCWSTR CCommandLineReport::StateName(KeyState state)
{
    return state == KeyState::remapped ? L"remapped" : state == KeyState::disabled ? L"disabled" : L"enabled";
}

CString CCommandLineReport::TargetName(uint16_t nTarget)
{
    return TargetText(nTarget, TRUE);
}

CString CCommandLineReport::CurrentUserRefusalText()
{
    return L"The command line changes no current user's layout: Windows 7 and later never apply it, so no restart or log-off "
           L"would bring the change into effect. Nothing was changed.\n" +
           ScopeSettingLines();
}

CString CCommandLineReport::CurrentUserStatusText()
{
    return L"The command line changes nothing in this scope. " + ScopeSettingLines() + L"\n";
}

CString CCommandLineReport::KeyPath(BOOL bAllUsers)
{
    CString strPath(bAllUsers ? L"HKEY_LOCAL_MACHINE\\" : L"HKEY_CURRENT_USER\\");
    strPath += CLayoutScope::For(bAllUsers).pszPath;
    return strPath;
}

CString CCommandLineReport::StatusText(const CMapStringToString& map, StoredLayoutType type, BOOL bAllUsers)
{
    CString strText, strLine;
    for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
    {
        if (!IsShown(map, nRow))
            continue;
        const DisableableKey& key = CKeyTable::At(nRow);
        uint16_t nTarget = 0;
        const KeyState state = CDisabledKeyMap::StateOf(map, key, &nTarget);
        const CString strState = state == KeyState::remapped ? L"remapped to " + TargetText(nTarget, FALSE)
                                                             : CString(state == KeyState::disabled ? L"disabled" : L"enabled");
        strLine.Format(L"%s: %s\n", key.pszLabel, strState.GetString());
        strText += strLine;
    }
    strLine.Format(L"Scope: %s (%s)\n", bAllUsers ? L"all users" : L"current user", KeyPath(bAllUsers).GetString());
    strText += strLine;
    strLine.Format(L"Other mappings: %d\n", OtherMappings(map));
    strText += strLine;
    if (type == StoredLayoutType::NotBinary)
        strText += L"The stored Scancode Map value is not binary: Windows ignores it, so it switches no key off.\n";
    return strText;
}

CString CCommandLineReport::EffectText(const CLayoutEffect& effect, StoredLayoutType type)
{
    const CString strStarted = TimeOrUnknown(effect.ftStarted);
    const CString strStored = effect.bStoredKnown ? TimeOrUnknown(effect.ftStored) : CString(L"an unknown time");
    CString strText, strSince;
    switch (effect.effect)
    {
    case LayoutEffect::InEffect:
        strText.Format(L"In effect: yes, since Windows started at %s (stored at %s).\n", strStarted.GetString(), strStored.GetString());
        break;
    case LayoutEffect::NothingStored:
        strText.Format(L"In effect: yes. Nothing is stored, so nothing waits for a restart; Windows started at %s.\n",
                       strStarted.GetString());
        break;
    case LayoutEffect::AfterRestart:
        // The program's volatile key knows better than a clock set forward since the change.
        if (effect.bRestartPending && effect.bStoredKnown && ::CompareFileTime(&effect.ftStored, &effect.ftStarted) < 0)
            strSince.Format(L"and Windows has not restarted since (the clock, set forward since, puts its start at %s)",
                            strStarted.GetString());
        else
            strSince.Format(L"after Windows started at %s", strStarted.GetString());
        if (type == StoredLayoutType::None)
            strText.Format(L"In effect: not yet. The value was removed at %s, %s: keys it switched off stay off until the computer "
                           L"restarts.\n",
                           strStored.GetString(), strSince.GetString());
        else
            strText.Format(L"In effect: not yet. Stored at %s, %s: restart the computer.\n", strStored.GetString(), strSince.GetString());
        break;
    case LayoutEffect::NotApplied:
        strText = L"In effect: no. Windows 7 and later apply only the all-users value: a current user's value is stored "
                  L"but has no effect.\n";
        break;
    case LayoutEffect::Unknown:
        if (effect.bStoredKnown)
            strText.Format(L"In effect: unknown. Stored at %s, which is later than now: the clock was fast then or has been set "
                           L"back since; Windows started at %s.\n",
                           strStored.GetString(), strStarted.GetString());
        else
            strText.Format(L"In effect: unknown. When the value was stored cannot be read; Windows started at %s.\n",
                           strStarted.GetString());
        break;
    }
    return strText;
}

CString CCommandLineReport::RemapText(const CMapStringToString& before, const LayoutChange& change)
{
    CString strText, strLine;
    for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
    {
        const DisableableKey& key = CKeyTable::At(nRow);
        uint16_t nTarget = 0;
        if (CDisabledKeyMap::StateOf(before, key, &nTarget) != KeyState::remapped)
            continue;
        const CString strTarget = TargetText(nTarget, FALSE);
        if ((change.disable & CKeyTable::Bit(nRow)) != 0)
            strLine.Format(L"%s was remapped to %s by another mapping: now it is switched off.\n", key.pszLabel, strTarget.GetString());
        else if ((change.enable & CKeyTable::Bit(nRow)) != 0)
            strLine.Format(L"%s is remapped to %s by another mapping, which is not this program's: left as it is.\n", key.pszLabel,
                           strTarget.GetString());
        else
            continue;
        strText += strLine;
    }
    return strText;
}

CString CCommandLineReport::FailureText(const LayoutEdit& edit, BOOL bAllUsers)
{
    CString strText;
    if (edit.result == LayoutEdit::busy)
    {
        strText.Format(L"Another copy of the program kept the keyboard layout for more than %lu seconds.",
                       CLayoutStore::kLockTimeoutMs / 1000);
        return strText;
    }
    if (edit.result == LayoutEdit::lockSquatted)
        return L"Could not take turns at the keyboard layout: " + edit.LockSquattedText(ShownText(edit.strLockHolder));
    if (edit.result == LayoutEdit::ctrlAltDelLost)
        return edit.CtrlAltDelLostText();
    // The step that failed, and what it failed on.
    LPCWSTR pszStep = L"read the value \"Scancode Map\" of ";
    CString strWhat = KeyPath(bAllUsers);
    LPCWSTR pszAfter = L"";
    if (edit.result == LayoutEdit::lockFailed)
    {
        pszStep = L"take turns with other copies at the keyboard layout by the mutex ";
        strWhat = edit.strLockName;
    }
    else if (edit.result == LayoutEdit::openFailed)
    {
        pszStep = L"open ";
        pszAfter = L" for writing";
    }
    else if (edit.result == LayoutEdit::deleteFailed)
        pszStep = L"delete the value \"Scancode Map\" of ";
    else if (edit.result == LayoutEdit::writeFailed)
        pszStep = L"write the value \"Scancode Map\" of ";
    strText.Format(L"Could not %s%s%s: %s", pszStep, strWhat.GetString(), pszAfter,
                   SystemErrorText(static_cast<DWORD>(edit.status)).GetString());
    return strText;
}

CString CCommandLineReport::Lines() const
{
    CString strText;
    // After a write the closing words say what the effect line would: that it waits for a restart.
    if (m_bRead)
        strText = StatusText(m_map, m_type, m_bAllUsers) + (m_bWritten ? CString() : EffectText(m_effect, m_type)) + m_strRemaps;
    // Only /status gets this far in the current user's scope: a change there is refused.
    if (m_bRead && !m_bAllUsers)
        strText += CurrentUserStatusText();
    if (!m_strMessage.IsEmpty())
    {
        strText += m_strMessage;
        strText += L"\n";
    }
    return strText;
}

CString CCommandLineReport::Json() const
{
    static const LPCWSTR s_types[] = { L"none", L"binary", L"not binary" };
    CJsonWriter json;
    json.BeginObject();
    json.Key(L"ok").Bool(Succeeded());
    json.Key(L"exitCode").Number(m_nExitCode);
    json.Key(L"scope").String(m_bAllUsers ? L"allUsers" : L"currentUser");
    json.Key(L"registryPath").String(KeyPath(m_bAllUsers));
    if (m_bRead)
    {
        json.Key(L"valueType").String(s_types[static_cast<int>(m_type)]);
        json.Key(L"keys").BeginObject();
        for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
        {
            if (!IsShown(m_map, nRow))
                continue;
            const DisableableKey& key = CKeyTable::At(nRow);
            uint16_t nTarget = 0;
            const KeyState state = CDisabledKeyMap::StateOf(m_map, key, &nTarget);
            json.Key(key.pszName).BeginObject().Key(L"state").String(StateName(state));
            if (state == KeyState::remapped)
                json.Key(L"target").String(TargetName(nTarget));
            json.EndObject();
        }
        json.EndObject();
        json.Key(L"otherMappings").Number(OtherMappings(m_map));
    }
    else
    {
        json.Key(L"valueType").Null();
        json.Key(L"keys").Null();
        json.Key(L"otherMappings").Null();
    }
    json.Key(L"written").Bool(m_bWritten);
    const CString strStored = m_bRead && m_effect.bStoredKnown ? IsoTimeText(m_effect.ftStored) : CString();
    const CString strStarted = m_bRead ? IsoTimeText(m_effect.ftStarted) : CString();
    json.Key(L"storedAt").String(strStored.IsEmpty() ? nullptr : strStored.GetString());
    json.Key(L"windowsStartedAt").String(strStarted.IsEmpty() ? nullptr : strStarted.GetString());
    json.Key(L"inEffect");
    if (m_bRead && m_effect.effect != LayoutEffect::Unknown)
        json.Bool(m_effect.effect == LayoutEffect::InEffect || m_effect.effect == LayoutEffect::NothingStored);
    else
        json.Null();
    json.Key(L"message").String(m_strMessage.IsEmpty() ? nullptr : m_strMessage.GetString());
    json.EndObject();
    return json.Text();
}
