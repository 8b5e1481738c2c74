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
// The members "remapped" and "remappedTo" are what get and /status /json report for another
// tool's remap; the read-only members are DSC's own.
const WCHAR s_szSchema[] =
    L"{\"$schema\":\"https://json-schema.org/draft/2020-12/schema\","
    L"\"title\":\"MorvexSoft/KeyboardKeys\","
    L"\"description\":\"Keys switched off in the all-users Scancode Map value (HKEY_LOCAL_MACHINE\\\\SYSTEM\\\\CurrentControlSet\\\\"
    L"Control\\\\Keyboard Layout), the only one Windows applies, whatever the program's per-user setting says. A key left out is "
    L"not managed. \\\"enabled\\\" is met by any key that is not switched off, another tool's remap of it included, which set "
    L"leaves as it is; every other mapping is kept. What is stored takes effect when Windows next starts.\","
    L"\"type\":\"object\","
    L"\"additionalProperties\":false,"
    L"\"properties\":{"
    L"\"LWin\":{\"title\":\"Left Windows key\",\"$ref\":\"#/$defs/state\"},"
    L"\"RWin\":{\"title\":\"Right Windows key\",\"$ref\":\"#/$defs/state\"},"
    L"\"CapsLock\":{\"title\":\"Caps Lock\",\"$ref\":\"#/$defs/state\"},"
    L"\"LCtrl\":{\"title\":\"Left Ctrl\",\"$ref\":\"#/$defs/state\"},"
    L"\"remappedTo\":{\"title\":\"Remaps of other tools\",\"description\":\"Each key that another tool sends to another key, and "
    L"that key: by its name where it is one of the four, else by its scan code.\",\"type\":\"object\",\"readOnly\":true,"
    L"\"propertyNames\":{\"enum\":[\"LWin\",\"RWin\",\"CapsLock\",\"LCtrl\"]},"
    L"\"additionalProperties\":{\"type\":\"string\",\"pattern\":\"^(LWin|RWin|CapsLock|LCtrl|0x[0-9A-F]{4})$\"}},"
    L"\"_inDesiredState\":{\"title\":\"In the desired state\",\"description\":\"Reported by test: whether every managed key is as "
    L"desired in what is stored, whether or not that is in effect yet.\",\"type\":[\"boolean\",\"null\"],\"readOnly\":true},"
    L"\"_restartRequired\":{\"title\":\"Restart required\",\"description\":\"Present while what is stored is not in effect yet: "
    L"the computer to restart.\",\"type\":\"array\",\"readOnly\":true,\"items\":{\"type\":\"object\",\"required\":[\"system\"],"
    L"\"properties\":{\"system\":{\"type\":\"string\"}},\"additionalProperties\":false}}},"
    L"\"$defs\":{\"state\":{\"enum\":[\"disabled\",\"enabled\",\"remapped\"],\"description\":\"Desired: \\\"disabled\\\" or "
    L"\\\"enabled\\\". Reported: \\\"remapped\\\" too, for a key another tool sends to another key (see remappedTo).\"}}}";

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

// All four keys, as /status /json names their states and remaps' targets. test names a managed key
// that meets its desired state as it was desired: DSC compares each desired property with the one
// reported, and would count a remap that meets "enabled" as a difference.
void WriteKeys(CJsonWriter& json, const CMapStringToString& map, const DscDesiredState* pDesired = nullptr)
{
    KeySet remapped = 0;
    for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
    {
        const KeySet bit = CKeyTable::Bit(nRow);
        const KeyState state = CDisabledKeyMap::StateOf(map, CKeyTable::At(nRow));
        const BOOL bAsDesired = pDesired != nullptr && (pDesired->managed & bit) != 0 && Meets(state, *pDesired, bit);
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

LPCWSTR CDscResource::Schema()
{
    return s_szSchema;
}

int CDscResource::Run(const CMorvexCommandLineInfo& info, CDscInput& input, CRegistryApi& registry, CCommandLineOutput& output)
{
    if (!info.m_strError.IsEmpty())
        return Fail(output, exitBadArguments, info.m_strError);
    const DscOperation operation = info.m_dsc;
    if (operation == DscOperation::schema)
    {
        output.Write(s_szSchema, CCommandLineOutput::data);
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
