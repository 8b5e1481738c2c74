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
            "description": "\"remapped\" is reported for a key another tool sends to another key (see remappedTo). Desired, it leaves the key to that tool and is met as \"enabled\" is, so that what get and export report can be applied back."
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

// A remap of a key is no key switched off: it meets "enabled" and "remapped" alike, as /enable leaves it.
BOOL Meets(KeyState state, const DscDesiredState& desired, KeySet bit)
{
    return (desired.managed & bit) == 0 || (state == KeyState::disabled) == ((desired.disabled & bit) != 0);
}

BOOL InDesiredState(const CMapStringToString& map, const DscDesiredState& desired)
{
    for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
    {
        if (!Meets(CDisabledKeyMap::StateOf(map, CKeyTable::At(nRow)), desired, CKeyTable::Bit(nRow)))
            return FALSE;
    }
    return TRUE;
}

LPCWSTR DesiredName(const DscDesiredState& desired, KeySet bit)
{
    return (desired.disabled & bit) != 0 ? L"disabled" : (desired.remapped & bit) != 0 ? L"remapped" : L"enabled";
}

// The dialog's four keys always, the table's others where they are not enabled or are managed, as
// /status /json names their states and remaps' targets. test names a managed key that meets its
// desired state as it was desired: DSC compares each desired property with the one reported, and
// would count a remap that meets "enabled", or a managed key left out, as a difference.
void WriteKeys(CJsonWriter& json, const CMapStringToString& map, const DscDesiredState* pDesired = nullptr)
{
    KeySet remapped = 0;
    for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
    {
        const KeySet bit = CKeyTable::Bit(nRow);
        const KeyState state = CDisabledKeyMap::StateOf(map, CKeyTable::At(nRow));
        const BOOL bManaged = pDesired != nullptr && (pDesired->managed & bit) != 0;
        if (nRow >= CKeyTable::kDialogCount && state == KeyState::enabled && !bManaged)
            continue;
        const BOOL bAsDesired = bManaged && Meets(state, *pDesired, bit);
        json.Key(CKeyTable::At(nRow).pszName).String(bAsDesired ? DesiredName(*pDesired, bit) : CCommandLineReport::StateName(state));
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

// The properties a set changed, as DSC lists them after the state: each key whose state is another
// now, and remappedTo where a remap went or moved. A restart that is due is no property a set changed.
void WriteChanged(CJsonWriter& json, const CMapStringToString& before, const CMapStringToString& after)
{
    json.BeginArray();
    BOOL bRemapsChanged = FALSE;
    for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
    {
        uint16_t nTargetBefore = 0, nTargetAfter = 0;
        const KeyState stateBefore = CDisabledKeyMap::StateOf(before, CKeyTable::At(nRow), &nTargetBefore);
        const KeyState stateAfter = CDisabledKeyMap::StateOf(after, CKeyTable::At(nRow), &nTargetAfter);
        if (stateBefore != stateAfter)
            json.String(CKeyTable::At(nRow).pszName);
        if ((stateBefore == KeyState::remapped || stateAfter == KeyState::remapped) &&
            (stateBefore != stateAfter || nTargetBefore != nTargetAfter))
            bRemapsChanged = TRUE;
    }
    if (bRemapsChanged)
        json.String(L"remappedTo");
    json.EndArray();
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
// A thread's handle, closed when it goes; the thread may run on.
class CThreadHandle
{
public:
    explicit CThreadHandle(HANDLE h) : m_h(h) {}
    ~CThreadHandle()
    {
        if (m_h != nullptr)
            ::CloseHandle(m_h);
    }
    CThreadHandle(const CThreadHandle&) = delete;
    CThreadHandle& operator=(const CThreadHandle&) = delete;

    const HANDLE m_h;
};

// The standard input read to its end on a thread of its own, so that the wait for that end can be
// bounded: ReadFile on an anonymous pipe waits for as long as the writer neither writes nor closes.
// The reader and the thread share this, and whichever lets go last frees it: a thread still
// waiting when the reader gave up writes into nothing that is gone, until the process ends.
class CInputReading
{
public:
    explicit CInputReading(HANDLE hInput) : m_hInput(hInput) { m_bytes.SetSize(CDscInput::kMaxBytes + 1); }
    CInputReading(const CInputReading&) = delete;
    CInputReading& operator=(const CInputReading&) = delete;

    // For the thread, which holds a share from here on.
    CInputReading* Shared()
    {
        ::InterlockedIncrement(&m_nShares);
        return this;
    }
    void Release()
    {
        if (::InterlockedDecrement(&m_nShares) == 0)
            delete this;
    }
    // How many bytes are in m_bytes, or more than kMaxBytes once the input is too large.
    DWORD Received() { return static_cast<DWORD>(::InterlockedCompareExchange(&m_cbReceived, 0, 0)); }

    static DWORD WINAPI ThreadProc(LPVOID pvReading)
    {
        CInputReading* const pReading = static_cast<CInputReading*>(pvReading);
        pReading->ReadToEnd();
        pReading->Release();
        return 0;
    }

    CByteArray m_bytes;
    DWORD m_dwError = ERROR_SUCCESS;  // read once the thread has ended

private:
    void ReadToEnd()
    {
        BYTE dropped[4096];
        for (;;)
        {
            const DWORD cbReceived = Received();
            // Past the limit the input is read on and dropped: the writer sees it taken, and then our error.
            const BOOL bKeep = cbReceived <= CDscInput::kMaxBytes;
            DWORD cbRead = 0;
            if (!::ReadFile(m_hInput, bKeep ? m_bytes.GetData() + cbReceived : dropped,
                            bKeep ? CDscInput::kMaxBytes + 1 - cbReceived : sizeof dropped, &cbRead, nullptr))
            {
                const DWORD dwError = ::GetLastError();
                // The writer closed its end of the pipe: that is the end of the input.
                m_dwError = dwError == ERROR_BROKEN_PIPE ? ERROR_SUCCESS : dwError;
                return;
            }
            if (cbRead == 0)
                return;
            if (bKeep)
                ::InterlockedExchangeAdd(&m_cbReceived, static_cast<LONG>(cbRead));
        }
    }

    const HANDLE m_hInput;
    LONG m_nShares = 1;
    LONG m_cbReceived = 0;
};
}  // namespace

CDscInput::Result CDscInput::Read(CByteArray& bytes, DWORD& dwError, DWORD dwWaitMs)
{
    bytes.RemoveAll();
    dwError = ERROR_SUCCESS;
    const HANDLE hInput = ::GetStdHandle(STD_INPUT_HANDLE);
    DWORD dwMode = 0;
    // DSC pipes an instance when it has one; else the input is its own, often a console, where
    // reading would wait for someone to type.
    if (hInput == nullptr || hInput == INVALID_HANDLE_VALUE || ::GetConsoleMode(hInput, &dwMode))
        return none;

    CInputReading* pReading = new CInputReading(hInput);
    const CThreadHandle thread(::CreateThread(nullptr, 0, CInputReading::ThreadProc, pReading->Shared(), 0, nullptr));
    if (thread.m_h == nullptr)
    {
        dwError = ::GetLastError();
        pReading->Release();
        pReading->Release();
        return failed;
    }
    const BOOL bEnded = ::WaitForSingleObject(thread.m_h, dwWaitMs) == WAIT_OBJECT_0;
    const DWORD cbTotal = pReading->Received();
    Result result = unfinished;
    if (bEnded)
    {
        dwError = pReading->m_dwError;
        result = dwError != ERROR_SUCCESS ? failed : cbTotal > kMaxBytes ? tooLarge : cbTotal == 0 ? none : given;
    }
    else if (cbTotal > kMaxBytes)
        result = tooLarge;
    if (result == given || result == unfinished)
    {
        // What came before the wait ended: the thread only ever adds after it.
        bytes.SetSize(static_cast<INT_PTR>(cbTotal));
        if (cbTotal != 0)
            memcpy(bytes.GetData(), pReading->m_bytes.GetData(), cbTotal);
    }
    pReading->Release();
    return result;
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
    // get and export report all four keys, so they need no instance; set and test compare with one.
    const BOOL bNeedsInstance = operation == DscOperation::set || operation == DscOperation::test;
    const DWORD dwWaitMs = bNeedsInstance ? CDscResource::kInstanceWaitMs : CDscResource::kOptionalInputWaitMs;
    CByteArray bytes;
    DWORD dwError = ERROR_SUCCESS;
    const CDscInput::Result read = input.Read(bytes, dwError, dwWaitMs);
    if (read == CDscInput::failed)
        return Fail(output, exitFailed, L"Could not read the instance from the standard input: " + SystemErrorText(dwError));
    if (read == CDscInput::tooLarge)
    {
        CString strError;
        strError.Format(L"The input is larger than %u KB: an instance of this resource takes a few dozen bytes.",
                        static_cast<unsigned>(CDscInput::kMaxBytes / 1024));
        return Fail(output, exitBadArguments, strError);
    }
    // A pipe left open with nothing in it is no input for get and export; an instance must end.
    if (read == CDscInput::unfinished && (bNeedsInstance || !IsBlank(bytes)))
    {
        CString strError;
        strError.Format(L"The standard input was left open: no whole instance came within %u seconds. Close the input after the "
                        L"instance.",
                        static_cast<unsigned>(dwWaitMs / 1000));
        return Fail(output, exitBadArguments, strError);
    }
    // get and export report the keys without being told which, so they need no instance; set and
    // test compare with one.
    DscDesiredState desired;
    CString strError;
    if (IsBlank(bytes))
    {
        if (bNeedsInstance)
            return Fail(output, exitBadArguments,
                        L"No instance on the standard input: set and test need the desired state as a JSON object, such as "
                        L"{\"LWin\":\"disabled\",\"RWin\":\"disabled\"}.");
    }
    else if (!ReadDscInstance(bytes.GetData(), static_cast<size_t>(bytes.GetSize()), desired, strError))
        return Fail(output, exitBadArguments, strError);

    const CLayoutStore store(registry, TRUE);
    CMapStringToString map, before;
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
    WriteKeys(json, map, operation == DscOperation::test ? &desired : nullptr);
    if (operation == DscOperation::test)
        json.Key(L"_inDesiredState").Bool(InDesiredState(map, desired));
    // Read after the write: a value just stored waits for the next start. An export describes the
    // machine for a configuration, in which a restart has no place.
    if (operation != DscOperation::exportAll && CLayoutEffect::Read(registry, TRUE).effect == LayoutEffect::AfterRestart)
        json.Key(L"_restartRequired").BeginArray().BeginObject().Key(L"system").String(CCommandLineLog::ComputerName()).EndObject().EndArray();
    json.EndObject();
    output.Write(json.Text(), CCommandLineOutput::data);
    if (operation == DscOperation::set)
    {
        // What set changed, on a line of its own, as the manifest's "stateAndDiff" tells DSC: else DSC
        // diffs the state before and after itself, and counts a restart that became due as a change.
        CJsonWriter changed;
        WriteChanged(changed, before, map);
        output.Write(changed.Text(), CCommandLineOutput::data);
    }
    return exitDone;
}
