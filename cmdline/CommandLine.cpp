#include "cmdline/CommandLine.h"

#include "system/ScopeTexts.h"
#include "system/ShownText.h"

namespace
{
const WCHAR s_szUsage[] =
    L"Usage: MorvexDisabler [/disable KEYS] [/enable KEYS] [/restart] [/json] [/log FILE] [/quiet]\n"
    L"       MorvexDisabler /status [/json] [/log FILE] [/quiet]\n"
    L"       MorvexDisabler /?\n"
    L"       MorvexDisabler.com /dsc get|set|test|export|schema\n"
    L"\n"
    L"  /disable KEYS  switch these keys off\n"
    L"  /enable KEYS   switch these keys on again (a key another tool remapped stays so)\n"
    L"                 KEYS, comma-separated: LWin, RWin, CapsLock, LCtrl,\n"
    L"                 or All for these four; Apps, RCtrl, LAlt, RAlt, Insert,\n"
    L"                 NumLock, ScrollLock, PrintScreen, Escape, F1 to F24,\n"
    L"                 BrowserBack, BrowserForward, BrowserRefresh, BrowserStop,\n"
    L"                 BrowserSearch, BrowserFavorites, BrowserHome, LaunchMail,\n"
    L"                 LaunchMediaSelect, LaunchApp1, LaunchApp2, VolumeMute,\n"
    L"                 VolumeDown, VolumeUp, MediaNextTrack, MediaPrevTrack,\n"
    L"                 MediaStop, MediaPlayPause, Power, Sleep, Wake;\n"
    L"                 /enable Disabled: every one of these that is switched off.\n"
    L"                 Never both Ctrl or both Alt keys: Ctrl+Alt+Del stays.\n"
    L"  /status        show which keys are switched off or remapped, and whether that is in\n"
    L"                 effect yet; changes nothing\n"
    L"  /restart       after storing a change, restart the computer\n"
    L"  /json          print one JSON object on the standard output instead of these lines\n"
    L"  /log FILE      append a line about the run to FILE\n"
    L"  /quiet         never show a window, not even for errors\n"
    L"  /?             show this text; goes alone\n"
    L"  /dsc OPERATION the DSC resource MorvexDisabler.dsc.resource.json describes: the instance in\n"
    L"                 JSON on the standard input; goes alone, in the console program only\n"
    L"\n"
    L"Switches may start with / or -, in any case and order. Other tools' mappings are kept.\n"
    L"The scope is the program's setting: all users unless it says the current user; in that scope\n"
    L"the command line changes nothing.\n"
    L"\n"
    L"Exit codes:\n"
    L"  0     done, nothing needed changing and what is stored is in effect (also /status and /?)\n"
    L"  3010  stored, or stored already but not in effect yet: restart the computer\n"
    L"  1641  stored, and the restart requested\n"
    L"  87    bad arguments, or a change that would switch off both Ctrl or Alt keys\n"
    L"  5     access to the layout's registry key was denied; nothing was changed\n"
    L"  1618  another copy was changing the layout; nothing was changed, try again later\n"
    L"  1622  the log cannot be opened; nothing was changed\n"
    L"  1     the layout could not be read or stored, the restart was refused after storing,\n"
    L"        or the setting selects the current user, whose layout the command line leaves alone\n";

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
    change.enableIfDisabled = info.m_bEnableDisabled ? CKeyTable::kEveryKey : 0;
    change.bKeepRemaps = TRUE;
    return change;
}

int CCommandLine::FailureExitCode(const LayoutEdit& edit)
{
    switch (edit.result)
    {
    case LayoutEdit::busy:
        return exitAlreadyRunning;
    // Refused as arguments are: the same change fails every time.
    case LayoutEdit::ctrlAltDelLost:
        return exitBadArguments;
    case LayoutEdit::readFailed:
    case LayoutEdit::openFailed:
    // Taking the copies' turn is refused to an account that is no administrator, as writing is.
    case LayoutEdit::lockFailed:
        return edit.status == ERROR_ACCESS_DENIED ? exitAccessDenied : exitFailed;
    case LayoutEdit::lockSquatted:
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
    BOOL bRequest = FALSE;
    // The log is opened before anything is changed: a run that cannot be logged changes nothing.
    const BOOL bLogged = !info.m_strLog.IsEmpty() && log.Open(info.m_strLog, strLogProblem);
    // The console program runs the resource itself; this is the windowed program, given /dsc.
    const CString strError = info.m_bDsc && info.m_strError.IsEmpty()
                                 ? CString(L"/dsc is the console program's: DSC runs MorvexDisabler.com, as the resource's manifest says.")
                                 : info.m_strError;
    if (!strError.IsEmpty())
    {
        report.m_nExitCode = exitBadArguments;
        report.m_strMessage = strError;
        output.Write(strError + L"\n\n" + s_szUsage, CCommandLineOutput::error);
    }
    else if (!info.m_strLog.IsEmpty() && !bLogged)
    {
        report.m_nExitCode = exitLogFailed;
        report.m_strMessage =
            L"Could not open the log " + ShownText(info.m_strLog) + L": " + ShownText(strLogProblem) + L"\nNothing was changed.";
        output.Write(report.m_strMessage, CCommandLineOutput::error);
    }
    else
        bRequest = CarryOut(info, registry, output, report, record);

    // The record comes before the request: once it is accepted, the session may end before anything
    // else is written.
    if (info.m_bJson)
        output.Write(report.Json(), CCommandLineOutput::data);
    if (bLogged)
    {
        record.strArguments = info.m_strArguments;
        record.strComputer = CCommandLineLog::ComputerName();
        record.strAccount = CCommandLineLog::ProcessAccountName();
    }
    const auto logRun = [&] {
        if (!bLogged)
            return;
        record.nExitCode = report.m_nExitCode;
        ::GetSystemTimeAsFileTime(&record.ftTime);
        // A line that cannot be appended, or only without its turn, is said, but the run stands as it is.
        if (!log.Append(record, strLogProblem))
            output.Write(L"Could not append to the log " + ShownText(info.m_strLog) + L": " + ShownText(strLogProblem),
                         CCommandLineOutput::error);
        else if (!strLogProblem.IsEmpty())
            output.Write(ShownText(strLogProblem), CCommandLineOutput::error);
    };
    logRun();
    if (bRequest && !session.RequestRestartOrLogOff(report.m_bAllUsers))
    {
        // What really happened follows: the log's second line, and the error for people. A script
        // that parses the standard output has its one object, and the exit code tells it.
        report.m_nExitCode = exitFailed;
        report.m_strMessage = ScopeTexts::For(report.m_bAllUsers).pszRequestFailed;
        output.Write(report.m_strMessage, CCommandLineOutput::error);
        logRun();
    }
    return report.m_nExitCode;
}

BOOL CCommandLine::CarryOut(const CMorvexCommandLineInfo& info, CRegistryApi& registry, CCommandLineOutput& output,
                            CCommandLineReport& report, CCommandLineLogRecord& record)
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
        return FALSE;
    }
    // Windows 7 and later never apply the current user's value: a change there would end with 3010,
    // or log off, and a deployment tool would restart every machine for nothing. Refused before
    // anything is read; /status there still tells what is stored, and why nothing changes it.
    if (!info.m_bStatus && !bAllUsers)
    {
        report.m_nExitCode = exitFailed;
        report.m_strMessage = CCommandLineReport::CurrentUserRefusalText();
        tell(CCommandLineOutput::error);
        return FALSE;
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
            return FALSE;
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
            if (edit.result != LayoutEdit::busy && edit.result != LayoutEdit::lockFailed && edit.result != LayoutEdit::lockSquatted &&
                edit.result != LayoutEdit::readFailed)
                LogValues(record, edit);
            return FALSE;
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
        return FALSE;
    }
    if (!edit.bWritten)
    {
        // A second identical run writes nothing, so the value keeps its bytes and its time. What it
        // asks for may still wait for a restart, which a deployment tool learns from 3010.
        report.m_nExitCode = bWaitsForRestart ? exitRestartNeeded : exitDone;
        report.m_strMessage = bWaitsForRestart ? L"Nothing to change, but what is stored takes effect only when the computer restarts."
                                               : L"Nothing to change.";
        tell(CCommandLineOutput::info);
        return FALSE;
    }

    if (!info.m_bRestart)
    {
        report.m_nExitCode = exitRestartNeeded;
        report.m_strMessage = L"Stored. Restart the computer for the changes to be in effect.";
        tell(CCommandLineOutput::info);
        return FALSE;
    }
    // Told with the code the run ends with once the request is accepted, before it is made.
    report.m_nExitCode = exitRestartRequested;
    report.m_strMessage = L"Stored. Asking Windows to restart the computer.";
    tell(CCommandLineOutput::info);
    return TRUE;
}
