#include "app/CommandLine.h"

#include <string.h>
#include <wchar.h>

#include "ui/Messages.h"

namespace
{
enum Switch
{
    swDisable = 1,
    swEnable = 2,
    swStatus = 4,
    swRestart = 8,
    swQuiet = 16,
    swUsage = 32,
    swJson = 64,
    swLog = 128,
};
struct SwitchName
{
    LPCWSTR pszName;
    UINT nSwitch;
};
const SwitchName s_switches[] = {
    { L"disable", swDisable }, { L"enable", swEnable }, { L"status", swStatus },
    { L"restart", swRestart }, { L"quiet", swQuiet },   { L"?", swUsage },
    { L"json", swJson },       { L"log", swLog },
};

const WCHAR s_szUsage[] =
    L"Usage: MorvexDisabler [/disable KEYS] [/enable KEYS] [/restart] [/json] [/log FILE] [/quiet]\n"
    L"       MorvexDisabler /status [/json] [/log FILE] [/quiet]\n"
    L"       MorvexDisabler /?\n"
    L"\n"
    L"  /disable KEYS  switch these keys off\n"
    L"  /enable KEYS   switch these keys on again (a key another tool remapped stays so)\n"
    L"                 KEYS: LWin, RWin, CapsLock, LCtrl, comma-separated, or All\n"
    L"  /status        show which keys are switched off or remapped, and whether that is in\n"
    L"                 effect yet; changes nothing\n"
    L"  /restart       after storing a change, restart the computer (log off in the current-user scope)\n"
    L"  /json          print one JSON object on the standard output instead of these lines\n"
    L"  /log FILE      append a line about the run to FILE\n"
    L"  /quiet         never show a window, not even for errors\n"
    L"  /?             show this text; goes alone\n"
    L"\n"
    L"Switches may start with / or -, in any case and order. Other tools' mappings are kept.\n"
    L"The scope is the program's setting: all users unless it says the current user.\n"
    L"\n"
    L"Exit codes:\n"
    L"  0     done, nothing needed changing and what is stored is in effect (also /status and /?)\n"
    L"  3010  stored, or stored already but not in effect yet: restart the computer\n"
    L"  1641  stored, and the restart (or log-off) requested\n"
    L"  87    bad arguments\n"
    L"  5     access to the layout's registry key was denied; nothing was changed\n"
    L"  1618  another copy was changing the layout; nothing was changed, try again later\n"
    L"  1622  the log cannot be opened; nothing was changed\n"
    L"  1     the layout could not be read or stored, the restart was refused after storing,\n"
    L"        or /restart cannot log off from here\n";

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
    return nSwitch == swDisable ? L"/disable" : nSwitch == swEnable ? L"/enable" : L"/log";
}

// What a switch that takes an argument says when it has none.
CString MissingArgumentText(UINT nSwitch)
{
    if (nSwitch == swLog)
        return L"/log needs the name of the file to append its line to.";
    return CString(SwitchText(nSwitch)) + L" needs a list of keys: LWin, RWin, CapsLock, LCtrl or All.";
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
        strList += CKeyTable::At(nRow).pszName;
    }
    return strList;
}
}  // namespace

// ---- Parsing ---------------------------------------------------------------------------------------

void CMorvexCommandLineInfo::ParseParam(const WCHAR* pszParam, BOOL bFlag, BOOL bLast)
{
    ++m_nArguments;
    AddToArguments(pszParam, bFlag);
    const UINT nArgumentFor = m_nAwaitingArgument;
    const UINT nListBefore = m_nListBefore;
    const BOOL bListBeforeEndedInComma = m_bListEndsInComma;
    m_nAwaitingArgument = 0;
    m_nListBefore = 0;
    m_bListEndsInComma = FALSE;
    if (bListBeforeEndedInComma && bFlag)
        Fail(L"An empty name in the list " + Quoted(m_strListBefore) + L": separate the keys with one comma each.");
    if (nArgumentFor == swLog && !bFlag && *pszParam != L'\0')
        m_strLog = pszParam;
    else if (nArgumentFor != 0 && nArgumentFor != swLog && !bFlag)
        ParseKeyList(nArgumentFor, pszParam, bLast);
    else
    {
        if (nArgumentFor != 0)
            Fail(MissingArgumentText(nArgumentFor));
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
        else if (nArgumentFor == 0)
            Fail(L"Unexpected argument " + Quoted(pszParam) + L".");
    }

    if (bLast)
    {
        if (m_nAwaitingArgument != 0)
            Fail(MissingArgumentText(m_nAwaitingArgument));
        CheckCombination();
    }
}

void CMorvexCommandLineInfo::AddToArguments(const WCHAR* pszParam, BOOL bFlag)
{
    // As the log shows them: a switch with its slash, an argument with spaces in quotes.
    if (!m_strArguments.IsEmpty())
        m_strArguments += L" ";
    const BOOL bQuote = !bFlag && (*pszParam == L'\0' || wcschr(pszParam, L' ') != nullptr);
    m_strArguments += bFlag ? L"/" : bQuote ? L"\"" : L"";
    m_strArguments += pszParam;
    if (bQuote)
        m_strArguments += L"\"";
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
        case swLog:
            m_nAwaitingArgument = name.nSwitch;
            break;
        case swJson:
            m_bJson = TRUE;
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
            const WCHAR* pszName = CKeyTable::At(nRow).pszName;
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
void LogValues(CCommandLineLogRecord& record, const LayoutEdit& edit)
{
    record.bRead = TRUE;
    record.bBefore = edit.typeBefore != StoredLayoutType::None;
    record.before.Copy(edit.before);
    record.bAfter = edit.typeAfter != StoredLayoutType::None;
    record.after.Copy(edit.after);
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

int CCommandLine::FailureExitCode(const LayoutEdit& edit)
{
    switch (edit.result)
    {
    case LayoutEdit::busy:
        return exitAlreadyRunning;
    case LayoutEdit::readFailed:
    case LayoutEdit::openFailed:
        return edit.status == ERROR_ACCESS_DENIED ? exitAccessDenied : exitFailed;
    case LayoutEdit::lockFailed:
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
    CCommandLineReport report(bAllUsers);
    CCommandLineLogRecord record;
    CCommandLineLog log;
    CString strLogProblem;
    // The log is opened before anything is changed: a run that cannot be logged changes nothing.
    const BOOL bLogged = !info.m_strLog.IsEmpty() && log.Open(info.m_strLog, strLogProblem);
    if (!info.m_strError.IsEmpty())
    {
        report.m_nExitCode = exitBadArguments;
        report.m_strMessage = info.m_strError;
        output.Write(info.m_strError + L"\n\n" + s_szUsage, CCommandLineOutput::error);
    }
    else if (!info.m_strLog.IsEmpty() && !bLogged)
    {
        report.m_nExitCode = exitLogFailed;
        report.m_strMessage = L"Could not open the log " + info.m_strLog + L": " + strLogProblem + L"\nNothing was changed.";
        output.Write(report.m_strMessage, CCommandLineOutput::error);
    }
    else
        CarryOut(info, registry, session, output, report, record);

    if (info.m_bJson)
        output.Write(report.Json(), CCommandLineOutput::data);
    if (bLogged)
    {
        record.strArguments = info.m_strArguments;
        record.nExitCode = report.m_nExitCode;
        ::GetSystemTimeAsFileTime(&record.ftTime);
        record.strComputer = CCommandLineLog::ComputerName();
        record.strAccount = CCommandLineLog::ProcessAccountName();
        // A line that cannot be appended is said, but the run stands as it is.
        if (!log.Append(record, strLogProblem))
            output.Write(L"Could not append to the log " + info.m_strLog + L": " + strLogProblem, CCommandLineOutput::error);
    }
    return report.m_nExitCode;
}

void CCommandLine::CarryOut(const CMorvexCommandLineInfo& info, CRegistryApi& registry, CSessionControl& session,
                            CCommandLineOutput& output, CCommandLineReport& report, CCommandLineLogRecord& record)
{
    const BOOL bAllUsers = report.m_bAllUsers;
    // With /json the object tells it all; errors are still written as text, for people.
    const auto tell = [&](CCommandLineOutput::Kind kind) {
        if (!info.m_bJson || kind == CCommandLineOutput::error)
            output.Write(kind == CCommandLineOutput::error ? report.m_strMessage : report.Lines(), kind);
    };
    const auto fail = [&](const LayoutEdit& edit, LPCWSTR pszAfter) {
        report.m_nExitCode = FailureExitCode(edit);
        report.m_strMessage = CCommandLineReport::FailureText(edit, bAllUsers) + pszAfter;
        tell(CCommandLineOutput::error);
    };

    if (info.m_bUsage)
    {
        // It goes alone: no /json asks for it as data.
        output.Write(s_szUsage, CCommandLineOutput::usage);
        return;
    }
    // Checked before anything is read: the run fails whole rather than storing a change that waits
    // for a log-off nobody asked for.
    if (info.m_bRestart && !session.CanRequest(bAllUsers))
    {
        report.m_nExitCode = exitFailed;
        report.m_strMessage = L"/restart cannot log off from here: a log-off applies to the session the program runs in, "
                              L"which is not a user's interactive session (a deployment agent's or a service's, say). "
                              L"Nothing was changed.\nRun it without /restart, then log off and log on again yourself.";
        tell(CCommandLineOutput::error);
        return;
    }

    const CLayoutStore store(registry, bAllUsers);
    LayoutEdit edit;
    if (info.m_bStatus)
    {
        // A value that cannot be read is not shown as nothing switched off.
        edit.status = store.Load(report.m_map, &edit.typeBefore, &edit.before);
        if (edit.status != ERROR_SUCCESS)
        {
            edit.result = LayoutEdit::readFailed;
            fail(edit, L"");
            return;
        }
        edit.typeAfter = edit.typeBefore;
        edit.after.Copy(edit.before);
    }
    else
    {
        const LayoutChange change = ChangeOf(info);
        if (store.Edit(change, edit) != LayoutEdit::done)
        {
            // Reading the machine's layout needs no administrator, changing it does: a console
            // program runs with the rights of its prompt, which may not be elevated.
            const BOOL bNeedsElevation = bAllUsers && FailureExitCode(edit) == exitAccessDenied;
            fail(edit, bNeedsElevation ? L"\nNothing was changed.\nChanging the layout of all users needs administrator rights: "
                                         L"run the command from an elevated prompt (Run as administrator)."
                                       : L"\nNothing was changed.");
            // A value that was read and could not be changed is as it was.
            if (edit.result != LayoutEdit::busy && edit.result != LayoutEdit::lockFailed && edit.result != LayoutEdit::readFailed)
                LogValues(record, edit);
            return;
        }
        CMapStringToString before;
        LoadMap(before, edit.typeBefore, edit.before);
        LoadMap(report.m_map, edit.typeAfter, edit.after);
        report.m_strRemaps = CCommandLineReport::RemapText(before, change);
    }
    LogValues(record, edit);
    report.m_bRead = TRUE;
    report.m_type = edit.typeAfter;
    report.m_bWritten = edit.bWritten;
    // Read after the write: a value just stored waits for the next start.
    report.m_effect = CLayoutEffect::Read(registry, bAllUsers);
    const BOOL bWaitsForRestart = report.m_effect.effect == LayoutEffect::AfterRestart;

    if (info.m_bStatus)
    {
        tell(CCommandLineOutput::info);
        return;
    }
    if (!edit.bWritten)
    {
        // A second identical run writes nothing, so the value keeps its bytes and its time. What it
        // asks for may still wait for a restart, which a deployment tool learns from 3010.
        report.m_nExitCode = bWaitsForRestart ? exitRestartNeeded : exitDone;
        report.m_strMessage = bWaitsForRestart ? L"Nothing to change, but what is stored takes effect only when the computer restarts."
                                               : L"Nothing to change.";
        tell(CCommandLineOutput::info);
        return;
    }

    if (!info.m_bRestart)
    {
        report.m_nExitCode = exitRestartNeeded;
        report.m_strMessage = bAllUsers ? L"Stored. Restart the computer for the changes to be in effect."
                                        : L"Stored. Windows 7 and later apply only the all-users value, so this one has no effect.";
        tell(CCommandLineOutput::info);
        return;
    }
    // Said before the request: once it is accepted, the session may end before anything else is.
    report.m_nExitCode = exitRestartRequested;
    report.m_strMessage = bAllUsers ? L"Stored. Asking Windows to restart the computer." : L"Stored. Asking Windows to log off.";
    tell(CCommandLineOutput::info);
    if (!session.RequestRestartOrLogOff(bAllUsers))
    {
        report.m_nExitCode = exitFailed;
        report.m_strMessage = ScopeTexts::For(bAllUsers).pszRequestFailed;
        tell(CCommandLineOutput::error);
    }
}
