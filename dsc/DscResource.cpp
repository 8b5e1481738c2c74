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

// All four keys, as /status /json names their states and remaps' targets.
void WriteKeys(CJsonWriter& json, const CMapStringToString& map)
{
    KeySet remapped = 0;
    for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
    {
        const KeyState state = CDisabledKeyMap::StateOf(map, CKeyTable::At(nRow));
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
    // get and export report all four keys, so they need no instance; set and test compare with one.
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
