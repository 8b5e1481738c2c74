#include "dsc/DscResource.h"

#include "cmdline/CommandLine.h"
#include "cmdline/CommandLineLog.h"
#include "cmdline/CommandLineReport.h"
#include "cmdline/JsonWriter.h"
#include "dsc/DscInstance.h"
#include "layout/LayoutEffect.h"
#include "layout/LayoutStore.h"
#include "system/SystemErrorText.h"

namespace
{
// The instance's JSON Schema, in ASCII. The members "remapped" and "remappedTo" are what get and /status /json
// report for another tool's remap; the read-only members are DSC's own. The keys are the table's,
// in its order, titled as /status names them.
const char s_szSchema[] = R"json(
{
    "$schema": "https://json-schema.org/draft/2020-12/schema",
    "title": "MorvexSoft/KeyboardKeys",
    "description": "Keys switched off in the all-users Scancode Map value (HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Keyboard Layout), the only one Windows applies, whatever the program's per-user setting says. A key left out is not managed. \"enabled\" is met by any key that is not switched off, another tool's remap of it included, which set leaves as it is; every other mapping is kept. set refuses a state that would switch off both Ctrl keys or both Alt keys: Ctrl+Alt+Del stays possible. What is stored takes effect when Windows next starts.",
    "type": "object",
    "additionalProperties": false,
    "properties": {
        "LWin": { "title": "Left Windows key", "$ref": "#/$defs/state" },
        "RWin": { "title": "Right Windows key", "$ref": "#/$defs/state" },
        "CapsLock": { "title": "Caps Lock", "$ref": "#/$defs/state" },
        "LCtrl": { "title": "Left Ctrl", "$ref": "#/$defs/state" },
        "Apps": { "title": "Application", "$ref": "#/$defs/state" },
        "RCtrl": { "title": "Right Ctrl", "$ref": "#/$defs/state" },
        "LAlt": { "title": "Left Alt", "$ref": "#/$defs/state" },
        "RAlt": { "title": "Right Alt", "$ref": "#/$defs/state" },
        "Insert": { "title": "Insert", "$ref": "#/$defs/state" },
        "NumLock": { "title": "Num Lock", "$ref": "#/$defs/state" },
        "ScrollLock": { "title": "Scroll Lock", "$ref": "#/$defs/state" },
        "PrintScreen": { "title": "Print Screen", "$ref": "#/$defs/state" },
        "Escape": { "title": "Escape", "$ref": "#/$defs/state" },
        "F1": { "title": "F1", "$ref": "#/$defs/state" },
        "F2": { "title": "F2", "$ref": "#/$defs/state" },
        "F3": { "title": "F3", "$ref": "#/$defs/state" },
        "F4": { "title": "F4", "$ref": "#/$defs/state" },
        "F5": { "title": "F5", "$ref": "#/$defs/state" },
        "F6": { "title": "F6", "$ref": "#/$defs/state" },
        "F7": { "title": "F7", "$ref": "#/$defs/state" },
        "F8": { "title": "F8", "$ref": "#/$defs/state" },
        "F9": { "title": "F9", "$ref": "#/$defs/state" },
        "F10": { "title": "F10", "$ref": "#/$defs/state" },
        "F11": { "title": "F11", "$ref": "#/$defs/state" },
        "F12": { "title": "F12", "$ref": "#/$defs/state" },
        "F13": { "title": "F13", "$ref": "#/$defs/state" },
        "F14": { "title": "F14", "$ref": "#/$defs/state" },
        "F15": { "title": "F15", "$ref": "#/$defs/state" },
        "F16": { "title": "F16", "$ref": "#/$defs/state" },
        "F17": { "title": "F17", "$ref": "#/$defs/state" },
        "F18": { "title": "F18", "$ref": "#/$defs/state" },
        "F19": { "title": "F19", "$ref": "#/$defs/state" },
        "F20": { "title": "F20", "$ref": "#/$defs/state" },
        "F21": { "title": "F21", "$ref": "#/$defs/state" },
        "F22": { "title": "F22", "$ref": "#/$defs/state" },
        "F23": { "title": "F23", "$ref": "#/$defs/state" },
        "F24": { "title": "F24", "$ref": "#/$defs/state" },
        "BrowserBack": { "title": "Browser Back", "$ref": "#/$defs/state" },
        "BrowserForward": { "title": "Browser Forward", "$ref": "#/$defs/state" },
        "BrowserRefresh": { "title": "Browser Refresh", "$ref": "#/$defs/state" },
        "BrowserStop": { "title": "Browser Stop", "$ref": "#/$defs/state" },
        "BrowserSearch": { "title": "Browser Search", "$ref": "#/$defs/state" },
        "BrowserFavorites": { "title": "Browser Favorites", "$ref": "#/$defs/state" },
        "BrowserHome": { "title": "Browser Home", "$ref": "#/$defs/state" },
        "LaunchMail": { "title": "Mail", "$ref": "#/$defs/state" },
        "LaunchMediaSelect": { "title": "Media Select", "$ref": "#/$defs/state" },
        "LaunchApp1": { "title": "Launch App 1 (Computer)", "$ref": "#/$defs/state" },
        "LaunchApp2": { "title": "Launch App 2 (Calculator)", "$ref": "#/$defs/state" },
        "VolumeMute": { "title": "Mute", "$ref": "#/$defs/state" },
        "VolumeDown": { "title": "Volume Down", "$ref": "#/$defs/state" },
        "VolumeUp": { "title": "Volume Up", "$ref": "#/$defs/state" },
        "MediaNextTrack": { "title": "Next Track", "$ref": "#/$defs/state" },
        "MediaPrevTrack": { "title": "Previous Track", "$ref": "#/$defs/state" },
        "MediaStop": { "title": "Media Stop", "$ref": "#/$defs/state" },
        "MediaPlayPause": { "title": "Play/Pause", "$ref": "#/$defs/state" },
        "Power": { "title": "Power", "$ref": "#/$defs/state" },
        "Sleep": { "title": "Sleep", "$ref": "#/$defs/state" },
        "Wake": { "title": "Wake", "$ref": "#/$defs/state" },
        "remappedTo": {
            "title": "Remaps of other tools",
            "description": "Each key of the table that another tool sends to another key, and that key: by its name where it is a key of the table, else by its scan code.",
            "type": "object",
            "readOnly": true,
            "propertyNames": { "$ref": "#/$defs/key" },
            "additionalProperties": {
                "type": "string",
                "anyOf": [ { "$ref": "#/$defs/key" }, { "pattern": "^0x[0-9A-F]{4}$" } ]
            }
        },
        "_inDesiredState": {
            "title": "In the desired state",
            "description": "Reported by test: whether every managed key is as desired in what is stored, whether or not that is in effect yet.",
            "type": [ "boolean", "null" ],
            "readOnly": true
        },
        "_restartRequired": {
            "title": "Restart required",
            "description": "Present while what is stored is not in effect yet: the computer to restart.",
            "type": "array",
            "readOnly": true,
            "items": {
                "type": "object",
                "required": [ "system" ],
                "properties": { "system": { "type": "string" } },
                "additionalProperties": false
            }
        }
    },
    "$defs": {
        "state": {
            "enum": [ "disabled", "enabled", "remapped" ],
            "description": "Desired: \"disabled\" or \"enabled\". Reported: \"remapped\" too, for a key another tool sends to another key (see remappedTo)."
        },
        "key": {
            "enum": [
            "LWin", "RWin", "CapsLock", "LCtrl", "Apps", "RCtrl", "LAlt", "RAlt", "Insert", "NumLock", "ScrollLock",
            "PrintScreen", "Escape", "F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8", "F9", "F10", "F11", "F12",
            "F13", "F14", "F15", "F16", "F17", "F18", "F19", "F20", "F21", "F22", "F23", "F24", "BrowserBack",
            "BrowserForward", "BrowserRefresh", "BrowserStop", "BrowserSearch", "BrowserFavorites", "BrowserHome",
            "LaunchMail", "LaunchMediaSelect", "LaunchApp1", "LaunchApp2", "VolumeMute", "VolumeDown", "VolumeUp",
            "MediaNextTrack", "MediaPrevTrack", "MediaStop", "MediaPlayPause", "Power", "Sleep", "Wake"
            ]
        }
    }
}
)json";

// An ASCII JSON text on one line in pszLine, which has room for it: whitespace between tokens
// dropped, strings as they are.
void OneLine(const char* pszJson, LPWSTR pszLine)
{
    BOOL bInString = FALSE, bEscaped = FALSE;
    for (const char* pch = pszJson; *pch != '\0'; ++pch)
    {
        if (bInString)
        {
            bInString = bEscaped || *pch != '"';
            bEscaped = !bEscaped && *pch == '\\';
        }
        else if (*pch == ' ' || *pch == '\n' || *pch == '\r' || *pch == '\t')
            continue;
        else
            bInString = *pch == '"';
        *pszLine++ = static_cast<WCHAR>(*pch);
    }
    *pszLine = L'\0';
}

// One line of DSC's trace on the standard error.
void Tell(CCommandLineOutput& output, LPCWSTR pszLevel, LPCWSTR pszText)
{
    CJsonWriter json;
    json.BeginObject().Key(pszLevel).String(pszText).EndObject();
    output.Write(json.Text(), CCommandLineOutput::errorData);
}

int Fail(CCommandLineOutput& output, int nExitCode, const CString& strError)
{
    Tell(output, L"error", strError);
    return nExitCode;
}

BOOL InDesiredState(const CMapStringToString& map, const DscDesiredState& desired)
{
    for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
    {
        const KeySet bit = CKeyTable::Bit(nRow);
        if ((desired.managed & bit) == 0)
            continue;
        // A remap of a key is no key switched off: it meets "enabled", as /enable leaves it.
        const BOOL bDisabled = CDisabledKeyMap::StateOf(map, CKeyTable::At(nRow)) == KeyState::disabled;
        if (bDisabled != ((desired.disabled & bit) != 0))
            return FALSE;
    }
    return TRUE;
}

// The dialog's four keys always, the table's others where they are not enabled, as /status /json
// names their states and remaps' targets.
void WriteKeys(CJsonWriter& json, const CMapStringToString& map)
{
    KeySet remapped = 0;
    for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
    {
        const KeyState state = CDisabledKeyMap::StateOf(map, CKeyTable::At(nRow));
        if (nRow >= CKeyTable::kDialogCount && state == KeyState::enabled)
            continue;
        json.Key(CKeyTable::At(nRow).pszName).String(CCommandLineReport::StateName(state));
        if (state == KeyState::remapped)
            remapped |= CKeyTable::Bit(nRow);
    }
    if (remapped == 0)
        return;
    json.Key(L"remappedTo").BeginObject();
    for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
    {
        uint16_t nTarget = 0;
        if ((remapped & CKeyTable::Bit(nRow)) != 0 && CDisabledKeyMap::StateOf(map, CKeyTable::At(nRow), &nTarget) == KeyState::remapped)
            json.Key(CKeyTable::At(nRow).pszName).String(CCommandLineReport::TargetName(nTarget));
    }
    json.EndObject();
}

BOOL IsBlank(const CByteArray& bytes)
{
    for (INT_PTR i = 0; i < bytes.GetSize(); ++i)
    {
        const BYTE b = bytes.GetData()[i];
        if (b != ' ' && b != '\t' && b != '\r' && b != '\n')
            return FALSE;
    }
    return TRUE;
}

// What a set did to keys that another tool sends to other keys: a remap replaced is a warning,
// one left as it is only information.
void TellRemaps(CCommandLineOutput& output, const CMapStringToString& before, const LayoutChange& change)
{
    for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
    {
        LayoutChange one;
        one.disable = change.disable & CKeyTable::Bit(nRow);
        one.enable = change.enable & CKeyTable::Bit(nRow);
        CString strText = CCommandLineReport::RemapText(before, one);
        if (strText.IsEmpty())
            continue;
        // One line, without its break.
        CString strLine;
        strLine.Format(L"%.*s", strText.GetLength() - 1, strText.GetString());
        Tell(output, one.disable != 0 ? L"warn" : L"info", strLine);
    }
}
}  // namespace

CDscInput::Result CDscInput::Read(CByteArray& bytes, DWORD& dwError)
{
    bytes.RemoveAll();
    dwError = ERROR_SUCCESS;
    const HANDLE hInput = ::GetStdHandle(STD_INPUT_HANDLE);
    DWORD dwMode = 0;
    // DSC pipes an instance when it has one; else the input is its own, often a console, where
    // reading would wait for someone to type.
    if (hInput == nullptr || hInput == INVALID_HANDLE_VALUE || ::GetConsoleMode(hInput, &dwMode))
        return none;
    // One byte more than the limit tells an input that is too large.
    bytes.SetSize(kMaxBytes + 1);
    DWORD cbTotal = 0;
    for (;;)
    {
        DWORD cbRead = 0;
        if (!::ReadFile(hInput, bytes.GetData() + cbTotal, kMaxBytes + 1 - cbTotal, &cbRead, nullptr))
        {
            dwError = ::GetLastError();
            // The writer closed its end of the pipe: that is the end of the input.
            if (dwError == ERROR_BROKEN_PIPE)
                break;
            bytes.RemoveAll();
            return failed;
        }
        if (cbRead == 0)
            break;
        cbTotal += cbRead;
        if (cbTotal > kMaxBytes)
        {
            bytes.RemoveAll();
            return tooLarge;
        }
    }
    dwError = ERROR_SUCCESS;
    bytes.SetSize(cbTotal);
    return cbTotal == 0 ? none : given;
}

CDscInput& CDscInput::Real()
{
    static CDscInput s_real;
    return s_real;
}

CString CDscResource::Schema()
{
    CByteArray line;
    line.SetSize(static_cast<INT_PTR>(sizeof(s_szSchema) * sizeof(WCHAR)));
    const LPWSTR pszLine = reinterpret_cast<LPWSTR>(line.GetData());
    OneLine(s_szSchema, pszLine);
    return pszLine;
}

int CDscResource::Run(const CMorvexCommandLineInfo& info, CDscInput& input, CRegistryApi& registry, CCommandLineOutput& output)
{
    if (!info.m_strError.IsEmpty())
        return Fail(output, exitBadArguments, info.m_strError);
    const DscOperation operation = info.m_dsc;
    if (operation == DscOperation::schema)
    {
        output.Write(Schema(), CCommandLineOutput::data);
        return exitDone;
    }

    // Read to its end whatever the operation, so that DSC never writes into a pipe nobody reads.
    CByteArray bytes;
    DWORD dwError = ERROR_SUCCESS;
    const CDscInput::Result read = input.Read(bytes, dwError);
    if (read == CDscInput::failed)
        return Fail(output, exitFailed, L"Could not read the instance from the standard input: " + SystemErrorText(dwError));
    if (read == CDscInput::tooLarge)
    {
        CString strError;
        strError.Format(L"The input is larger than %u KB: an instance of this resource takes a few dozen bytes.",
                        static_cast<unsigned>(CDscInput::kMaxBytes / 1024));
        return Fail(output, exitBadArguments, strError);
    }
    // get and export report the keys without being told which, so they need no instance; set and
    // test compare with one.
    DscDesiredState desired;
    CString strError;
    if (IsBlank(bytes))
    {
        if (operation == DscOperation::set || operation == DscOperation::test)
            return Fail(output, exitBadArguments,
                        L"No instance on the standard input: set and test need the desired state as a JSON object, such as "
                        L"{\"LWin\":\"disabled\",\"RWin\":\"disabled\"}.");
    }
    else if (!ReadDscInstance(bytes.GetData(), static_cast<size_t>(bytes.GetSize()), desired, strError))
        return Fail(output, exitBadArguments, strError);

    const CLayoutStore store(registry, TRUE);
    CMapStringToString map;
    StoredLayoutType type = StoredLayoutType::None;
    LayoutEdit edit;
    if (operation == DscOperation::set)
    {
        LayoutChange change;
        change.disable = desired.managed & desired.disabled;
        change.enable = desired.managed & ~desired.disabled;
        // A remap of a key to enable is another tool's, not a key this program switched off.
        change.bKeepRemaps = TRUE;
        if (store.Edit(change, edit) != LayoutEdit::done)
        {
            const int nExitCode = CCommandLine::FailureExitCode(edit);
            return Fail(output, nExitCode,
                        CCommandLineReport::FailureText(edit, TRUE) +
                            (nExitCode == exitAccessDenied ? L"\nNothing was changed. Changing the layout of all users needs "
                                                             L"administrator rights: run DSC elevated."
                                                           : L"\nNothing was changed."));
        }
        CMapStringToString before;
        if (edit.typeBefore == StoredLayoutType::Binary)
            CDisabledKeyMap::Load(before, edit.before.GetData(), static_cast<size_t>(edit.before.GetSize()));
        TellRemaps(output, before, change);
        Tell(output, L"info", edit.bWritten ? L"Stored. Restart the computer for the change to be in effect." : L"Nothing to change.");
        type = edit.typeAfter;
        if (type == StoredLayoutType::Binary)
            CDisabledKeyMap::Load(map, edit.after.GetData(), static_cast<size_t>(edit.after.GetSize()));
    }
    else
    {
        // A value that cannot be read is not reported as nothing switched off.
        edit.status = store.Load(map, &type);
        if (edit.status != ERROR_SUCCESS)
        {
            edit.result = LayoutEdit::readFailed;
            return Fail(output, CCommandLine::FailureExitCode(edit), CCommandLineReport::FailureText(edit, TRUE));
        }
    }
    if (type == StoredLayoutType::NotBinary)
        Tell(output, L"warn", L"The stored Scancode Map value is not binary: Windows ignores it, so it switches no key off.");

    CJsonWriter json;
    json.BeginObject();
    WriteKeys(json, map);
    if (operation == DscOperation::test)
        json.Key(L"_inDesiredState").Bool(InDesiredState(map, desired));
    // Read after the write: a value just stored waits for the next start. An export describes the
    // machine for a configuration, in which a restart has no place.
    if (operation != DscOperation::exportAll && CLayoutEffect::Read(registry, TRUE).effect == LayoutEffect::AfterRestart)
        json.Key(L"_restartRequired").BeginArray().BeginObject().Key(L"system").String(CCommandLineLog::ComputerName()).EndObject().EndArray();
    json.EndObject();
    output.Write(json.Text(), CCommandLineOutput::data);
    return exitDone;
}
