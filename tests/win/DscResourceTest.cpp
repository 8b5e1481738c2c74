// The DSC resource in-process: each operation on the registry, what it prints where, and every input that is no instance.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "RegistryFixture.h"
#include "dsc/DscInstance.h"
#include "dsc/DscResource.h"
#include "layout/LayoutEffect.h"
#include "system/SystemErrorText.h"

namespace
{
// Scan codes as stored: prefix in the high byte.
const WORD kLeftWindows = 0xE05B, kRightWindows = 0xE05C, kCapsLock = 0x003A, kLeftCtrl = 0x001D;
const WORD kRightAlt = 0xE038, kScrollLock = 0x0046, kApplication = 0xE05D;

// Bytes after the terminator that the program never writes: a value that still has them was not written.
Bytes Untouchable(Bytes value)
{
    value.insert(value.end(), { 0xDE, 0xAD, 0xBE, 0xEF });
    return value;
}

// Hands the input over as DSC's pipe would, or reports what a read can come to.
class CFakeDscInput : public CDscInput
{
public:
    CFakeDscInput(Result result, const std::string& strText = std::string()) : m_result(result), m_strText(strText) {}

    Result Read(CByteArray& bytes, DWORD& dwError, DWORD dwWaitMs) override
    {
        ++m_nReads;
        m_dwWaitMs = dwWaitMs;
        bytes.SetSize(static_cast<INT_PTR>(m_strText.size()));
        if (!m_strText.empty())
            memcpy(bytes.GetData(), m_strText.data(), m_strText.size());
        dwError = m_result == failed ? ERROR_INVALID_HANDLE : ERROR_SUCCESS;
        return m_result;
    }

    Result m_result;
    std::string m_strText;
    int m_nReads = 0;
    DWORD m_dwWaitMs = 0;
};

CFakeDscInput Given(const std::string& strText)
{
    return CFakeDscInput(CDscInput::given, strText);
}

// The standard output and error apart, as DSC reads them; anything written as another kind is a fault.
class CDscOutput : public CCommandLineOutput
{
public:
    void Write(LPCWSTR pszText, Kind kind) override
    {
        (kind == data ? m_data : kind == errorData ? m_trace : m_other).push_back(pszText);
    }

    std::wstring Trace() const
    {
        std::wstring strTrace;
        for (const std::wstring& strLine : m_trace)
            strTrace += strLine + L"\n";
        return strTrace;
    }

    std::vector<std::wstring> m_data, m_trace, m_other;
};

// An instance the resource printed, handed back to it: its texts are ASCII.
std::string Narrow(const std::wstring& strText)
{
    std::string strNarrow;
    for (wchar_t ch : strText)
        strNarrow += static_cast<char>(ch);
    return strNarrow;
}

CMorvexCommandLineInfo Arguments(const std::vector<std::wstring>& args)
{
    CMorvexCommandLineInfo info;
    for (size_t i = 0; i < args.size(); ++i)
    {
        const WCHAR* pszParam = args[i].c_str();
        const BOOL bFlag = pszParam[0] == L'/' || pszParam[0] == L'-';
        info.ParseParam(pszParam + bFlag, bFlag, i + 1 == args.size());
    }
    return info;
}

std::wstring ComputerName()
{
    WCHAR szName[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD cchName = ARRAYSIZE(szName);
    ::GetComputerNameW(szName, &cchName);
    return szName;
}

// Each trace line is one JSON object of one member, as DSC's trace reads them; an error line is there
// when the run failed, and only then.
void ExpectTraceLines(const CDscOutput& output, bool bFailed)
{
    bool bError = false;
    for (const std::wstring& strLine : output.m_trace)
    {
        const bool bKnown = strLine.rfind(L"{\"error\":\"", 0) == 0 || strLine.rfind(L"{\"warn\":\"", 0) == 0 ||
                            strLine.rfind(L"{\"info\":\"", 0) == 0;
        EXPECT_TRUE(bKnown && strLine.size() > 2 && strLine.compare(strLine.size() - 2, 2, L"\"}") == 0) << testing::PrintToString(strLine);
        EXPECT_EQ(std::wstring::npos, strLine.find_first_of(L"\r\n\x1b")) << testing::PrintToString(strLine);
        bError |= strLine.rfind(L"{\"error\":", 0) == 0;
    }
    EXPECT_EQ(bFailed, bError) << testing::PrintToString(output.Trace());
    EXPECT_TRUE(output.m_other.empty());
}

class DscResourceTest : public StoredLayoutTest
{
};

// When the all-users key was last written, as the registry seam answers it.
enum class Written
{
    justNow,              // the real time: after Windows started, so a restart is due
    beforeWindowsStarted, // in effect, unless the program's volatile key says otherwise
    noKey,                // no Keyboard Layout key at all: nothing stored, nothing waits
};

enum class Obstacle
{
    none,
    writesDenied,
    readsDenied,
};

struct OperationCase
{
    const char* pszName;
    std::vector<std::wstring> args;
    CFakeDscInput input;
    Bytes stored;  // all users' before; empty: none
    int nExit;
    Bytes expected;          // after
    std::wstring strData;    // the lines on the standard output, joined by '\n'; empty: none
    std::wstring strTrace;   // a part of the standard error
    Written written = Written::justNow;
    bool bRestartPending = false;
    DWORD dwStoredType = REG_BINARY;
    LSTATUS queryValueResult = ERROR_SUCCESS;
    LSTATUS setValueResult = ERROR_SUCCESS;
    Obstacle obstacle = Obstacle::none;
};

TEST_F(DscResourceTest, CarriesOutEachOperationOnTheAllUsersValueAndPrintsOnlyTheInstance)
{
    const CFakeDscInput none(CDscInput::none);
    const std::wstring strRestart = L",\"_restartRequired\":[{\"system\":\"" + ComputerName() + L"\"}]}";
    const std::wstring strAllEnabled = L"{\"LWin\":\"enabled\",\"RWin\":\"enabled\",\"CapsLock\":\"enabled\",\"LCtrl\":\"enabled\"";
    const std::wstring strLWinOff = L"{\"LWin\":\"disabled\",\"RWin\":\"enabled\",\"CapsLock\":\"enabled\",\"LCtrl\":\"enabled\"";
    // As JSON writes it: quotes and backslashes escaped.
    const std::wstring strValue =
        L"the value \\\"Scancode Map\\\" of HKEY_LOCAL_MACHINE\\\\SYSTEM\\\\CurrentControlSet\\\\Control\\\\Keyboard Layout: ";
    const std::wstring strDenied = SystemErrorText(ERROR_ACCESS_DENIED).GetString();
    const Bytes lwinOff = ScancodeMapValue({ { 0, kLeftWindows } });
    // Another tool's: Right Windows sent to Right Alt, Caps Lock to Left Ctrl, Scroll Lock switched off.
    const Bytes others = ScancodeMapValue({ { kRightAlt, kRightWindows }, { kLeftCtrl, kCapsLock }, { 0, kScrollLock } });
    const std::wstring strOthers = L"{\"LWin\":\"disabled\",\"RWin\":\"remapped\",\"CapsLock\":\"remapped\",\"LCtrl\":\"enabled\","
                                   L"\"ScrollLock\":\"disabled\",\"remappedTo\":{\"RWin\":\"RAlt\",\"CapsLock\":\"LCtrl\"}";
    const Bytes othersAndLWin =
        ScancodeMapValue({ { kRightAlt, kRightWindows }, { kLeftCtrl, kCapsLock }, { 0, kScrollLock }, { 0, kLeftWindows } });
    const std::string strDesired = "{\"LWin\":\"disabled\",\"CapsLock\":\"enabled\",\"RWin\":\"enabled\"}";
    // As test names them when strDesired is met: the remapped keys as desired.
    const std::wstring strOthersMet = L"{\"LWin\":\"disabled\",\"RWin\":\"enabled\",\"CapsLock\":\"enabled\",\"LCtrl\":\"enabled\","
                                      L"\"ScrollLock\":\"disabled\",\"remappedTo\":{\"RWin\":\"RAlt\",\"CapsLock\":\"LCtrl\"}";

    const OperationCase cases[] = {
        // get and export report all four keys and the remaps as /status /json names them.
        { "GetWhileARestartIsDue", { L"/dsc", L"get" }, none, othersAndLWin, 0, othersAndLWin, strOthers + strRestart },
        { "GetInEffect", { L"/dsc", L"get" }, none, lwinOff, 0, lwinOff, strLWinOff + L"}", L"", Written::beforeWindowsStarted },
        { "GetWithNothingStored", { L"/dsc", L"get" }, none, Bytes(), 0, Bytes(), strAllEnabled + L"}", L"", Written::noKey },
        // The program's volatile key outweighs a clock that puts the change before the start.
        { "GetWhileTheVolatileKeySaysNotYet", { L"-DSC", L"GET" }, none, lwinOff, 0, lwinOff, strLWinOff + strRestart, L"",
          Written::beforeWindowsStarted, true },
        { "GetChecksTheInstanceItIsGiven", { L"/dsc", L"get" }, Given("{\"LWin\":\"off\"}"), lwinOff, 87, lwinOff, L"",
          L"{\"error\":\"\\\"LWin\\\" must be \\\"disabled\\\" or \\\"enabled\\\", not \\\"off\\\".\"}" },
        { "ExportLeavesTheRestartToGetTestAndSet", { L"/dsc", L"export" }, Given(" "), othersAndLWin, 0, othersAndLWin, strOthers + L"}" },
        { "GetOfAValueThatIsNotBinary", { L"/dsc", L"get" }, none, TextValue(L"00"), 0, TextValue(L"00"), strAllEnabled + strRestart,
          L"{\"warn\":\"The stored Scancode Map value is not binary: Windows ignores it, so it switches no key off.\"}", Written::justNow,
          false, REG_SZ },
        // Not read is not "nothing stored".
        { "GetOfAValueThatCannotBeRead", { L"/dsc", L"get" }, none, lwinOff, 1, lwinOff, L"",
          L"{\"error\":\"Could not read " + strValue + SystemErrorText(ERROR_NOT_ENOUGH_MEMORY).GetString(), Written::justNow, false,
          REG_BINARY, ERROR_NOT_ENOUGH_MEMORY },
        { "GetDenied", { L"/dsc", L"get" }, none, lwinOff, 5, lwinOff, L"", L"{\"error\":\"Could not read " + strValue + strDenied,
          Written::justNow, false, REG_BINARY, ERROR_SUCCESS, ERROR_SUCCESS, Obstacle::readsDenied },

        // test: in the desired state is a matter of what is stored; whether that is in effect yet is
        // _restartRequired's. A remap meets "enabled".
        // A key that meets its desired state is named as desired, so that DSC's own diff agrees.
        { "TestNotInTheDesiredState", { L"/dsc", L"test" }, Given(strDesired), others, 0, others,
          L"{\"LWin\":\"enabled\",\"RWin\":\"enabled\",\"CapsLock\":\"enabled\",\"LCtrl\":\"enabled\",\"ScrollLock\":\"disabled\","
          L"\"remappedTo\":{\"RWin\":\"RAlt\",\"CapsLock\":\"LCtrl\"},\"_inDesiredState\":false" + strRestart },
        { "TestInTheDesiredStateInEffect", { L"/dsc", L"test" }, Given(strDesired), othersAndLWin, 0, othersAndLWin,
          strOthersMet + L",\"_inDesiredState\":true}", L"", Written::beforeWindowsStarted },
        { "TestInTheDesiredStateWaitingForTheRestart", { L"/dsc", L"test" }, Given(strDesired), othersAndLWin, 0, othersAndLWin,
          strOthersMet + L",\"_inDesiredState\":true" + strRestart },
        // What export and get printed comes back as a desired state, as dsc config export makes it:
        // the reported members are ignored, "remapped" is met as "enabled" is, and nothing differs.
        { "TestOfWhatExportPrinted", { L"/dsc", L"test" }, Given(Narrow(strOthers + L"}")), othersAndLWin, 0, othersAndLWin,
          strOthers + L",\"_inDesiredState\":true}", L"", Written::beforeWindowsStarted },
        { "TestOfWhatGetPrinted", { L"/dsc", L"test" }, Given(Narrow(strOthers + strRestart)), othersAndLWin, 0, othersAndLWin,
          strOthers + L",\"_inDesiredState\":true" + strRestart },
        { "TestIgnoresReportedMembersOfAnyShape", { L"/dsc", L"test" },
          Given("{\"_inDesiredState\":[[1,\"x\"]],\"remappedTo\":\"LCtrl\",\"_restartRequired\":[],\"remappedTo\":{}}"), lwinOff, 0,
          lwinOff, strLWinOff + L",\"_inDesiredState\":true}", L"", Written::beforeWindowsStarted },
        { "TestOfRemappedMetByAKeyNoLongerRemapped", { L"/dsc", L"test" }, Given("{\"CapsLock\":\"remapped\"}"), lwinOff, 0, lwinOff,
          L"{\"LWin\":\"disabled\",\"RWin\":\"enabled\",\"CapsLock\":\"remapped\",\"LCtrl\":\"enabled\",\"_inDesiredState\":true}",
          L"", Written::beforeWindowsStarted },
        { "TestOfRemappedOnAKeySwitchedOff", { L"/dsc", L"test" }, Given("{\"LWin\":\"remapped\"}"), lwinOff, 0, lwinOff,
          strLWinOff + L",\"_inDesiredState\":false}", L"", Written::beforeWindowsStarted },
        { "TestOfNoManagedKey", { L"/dsc", L"test" }, Given("\xEF\xBB\xBF{}\r\n"), lwinOff, 0, lwinOff,
          strLWinOff + L",\"_inDesiredState\":true}", L"", Written::beforeWindowsStarted },
        { "TestNeedsAnInstance", { L"/dsc", L"test" }, Given(" \r\n"), lwinOff, 87, lwinOff, L"",
          L"{\"error\":\"No instance on the standard input: set and test need the desired state" },

        // set makes /disable's and /enable's edit, and returns the state after it.
        { "SetKeepsOtherToolsMappingsInTheirOrder", { L"/dsc", L"set" }, Given(strDesired), others, 0, othersAndLWin,
          strOthers + strRestart + L"\n[\"LWin\"]",
          L"{\"info\":\"Right Windows is remapped to Right Alt by another mapping, which is not this program's: left as it "
          L"is.\"}\n{\"info\":\"Caps Lock is remapped to Left Ctrl by another mapping, which is not this program's: left as it is.\"}\n"
          L"{\"info\":\"Stored. Restart the computer for the change to be in effect.\"}\n" },
        { "SetReplacesARemapOfAKeyToSwitchOff", { L"/dsc", L"set" }, Given("{\"CapsLock\":\"disabled\"}"), others, 0,
          ScancodeMapValue({ { kRightAlt, kRightWindows }, { 0, kCapsLock }, { 0, kScrollLock } }),
          L"{\"LWin\":\"enabled\",\"RWin\":\"remapped\",\"CapsLock\":\"disabled\",\"LCtrl\":\"enabled\",\"ScrollLock\":\"disabled\","
          L"\"remappedTo\":{\"RWin\":\"RAlt\"}" + strRestart + L"\n[\"CapsLock\",\"remappedTo\"]",
          L"{\"warn\":\"Caps Lock was remapped to Left Ctrl by another mapping: now it is switched off.\"}" },
        { "SetWritesNothingWhenNothingChanges", { L"/dsc", L"set" }, Given(strDesired), Untouchable(othersAndLWin), 0,
          Untouchable(othersAndLWin), strOthers + L"}\n[]", L"{\"info\":\"Nothing to change.\"}", Written::beforeWindowsStarted },
        { "SetOfWhatExportPrintedWritesNothing", { L"/dsc", L"set" }, Given(Narrow(strOthers + L"}")), Untouchable(othersAndLWin), 0,
          Untouchable(othersAndLWin), strOthers + L"}\n[]", L"{\"info\":\"Nothing to change.\"}", Written::beforeWindowsStarted },
        // "remapped" leaves the key to the other tool: a key this program switched off is switched on.
        { "SetOfRemappedSwitchesAKeyBackOn", { L"/dsc", L"set" }, Given("{\"LWin\":\"remapped\"}"), lwinOff, 0, Bytes(),
          strAllEnabled + strRestart + L"\n[\"LWin\"]" },
        // Any key of the table, beside the four; never the last Ctrl or Alt key.
        { "SetAKeyBeyondTheFour", { L"/dsc", L"set" }, Given("{\"Apps\":\"disabled\",\"LWin\":\"disabled\"}"), lwinOff, 0,
          ScancodeMapValue({ { 0, kLeftWindows }, { 0, kApplication } }), strLWinOff + L",\"Apps\":\"disabled\"" + strRestart + L"\n[\"Apps\"]" },
        { "SetRefusesToSwitchOffBothCtrlKeys", { L"/dsc", L"set" }, Given("{\"Apps\":\"disabled\",\"RCtrl\":\"disabled\"}"),
          ScancodeMapValue({ { 0, kLeftCtrl } }), 87, ScancodeMapValue({ { 0, kLeftCtrl } }), L"",
          L"{\"error\":\"This would switch off both Ctrl keys: on a computer that asks for Ctrl+Alt+Del at sign-in, nobody could "
          L"sign in. Keep LCtrl or RCtrl switched on.\\nNothing was changed.\"}" },
        { "SetEnablingTheLastKeyRemovesTheValue", { L"/dsc", L"set" }, Given("{\"LWin\":\"enabled\"}"), lwinOff, 0, Bytes(),
          strAllEnabled + strRestart + L"\n[\"LWin\"]" },
        { "SetOverAValueThatIsNotBinary", { L"/dsc", L"set" }, Given("{\"LWin\":\"disabled\"}"), TextValue(L"00"), 0, lwinOff,
          strLWinOff + strRestart + L"\n[\"LWin\"]", L"", Written::justNow, false, REG_SZ },
        // A failure changes nothing, says why, and ends with the code the manifest describes.
        { "SetWhoseWriteFails", { L"/dsc", L"set" }, Given("{\"RWin\":\"disabled\"}"), lwinOff, 1, lwinOff, L"",
          L"{\"error\":\"Could not write " + strValue + SystemErrorText(ERROR_WRITE_FAULT).GetString() + L"\\nNothing was changed.\"}",
          Written::justNow, false, REG_BINARY, ERROR_SUCCESS, ERROR_WRITE_FAULT },
        { "SetNotElevated", { L"/dsc", L"set" }, Given("{\"RWin\":\"disabled\"}"), lwinOff, 5, lwinOff, L"",
          L"for writing: " + strDenied + L"\\nNothing was changed. Changing the layout of all users needs administrator rights",
          Written::justNow, false, REG_BINARY, ERROR_SUCCESS, ERROR_SUCCESS, Obstacle::writesDenied },
        { "SetNeedsAnInstance", { L"/dsc", L"set" }, none, lwinOff, 87, lwinOff, L"", L"No instance on the standard input" },
        { "InputTooLarge", { L"/dsc", L"set" }, CFakeDscInput(CDscInput::tooLarge), lwinOff, 87, lwinOff, L"",
          L"{\"error\":\"The input is larger than 64 KB" },
        // An input left open: get and export go on without one, set and test stop waiting and say so.
        { "SetWhoseInputIsLeftOpen", { L"/dsc", L"set" }, CFakeDscInput(CDscInput::unfinished), lwinOff, 87, lwinOff, L"",
          L"{\"error\":\"The standard input was left open: no whole instance came within 10 seconds." },
        { "TestWhoseInstanceNeverEnds", { L"/dsc", L"test" }, CFakeDscInput(CDscInput::unfinished, "{\"LWin\":\"disabled\"}"), lwinOff, 87,
          lwinOff, L"", L"no whole instance came within 10 seconds" },
        { "GetWhoseInputIsLeftOpen", { L"/dsc", L"get" }, CFakeDscInput(CDscInput::unfinished, "\r\n"), lwinOff, 0, lwinOff,
          strLWinOff + L"}", L"", Written::beforeWindowsStarted },
        { "ExportWhoseInstanceNeverEnds", { L"/dsc", L"export" }, CFakeDscInput(CDscInput::unfinished, "{\"LWin\""), lwinOff, 87, lwinOff,
          L"", L"no whole instance came within 2 seconds" },
        { "InputUnreadable", { L"/dsc", L"set" }, CFakeDscInput(CDscInput::failed), lwinOff, 1, lwinOff, L"",
          L"{\"error\":\"Could not read the instance from the standard input: " + std::wstring(SystemErrorText(ERROR_INVALID_HANDLE).GetString()) },

        // The arguments are the manifest's; anything else is a bad argument, said as DSC reads it.
        { "UnknownOperation", { L"/dsc", L"delete" }, none, lwinOff, 87, lwinOff, L"",
          L"{\"error\":\"Unknown operation \\\"delete\\\" of /dsc: the operations are get, set, test, export and schema.\"}" },
        { "NoOperation", { L"/dsc" }, none, lwinOff, 87, lwinOff, L"", L"/dsc needs an operation" },
        { "NotAlone", { L"/dsc", L"set", L"/quiet" }, Given("{\"LWin\":\"enabled\"}"), lwinOff, 87, lwinOff, L"",
          L"{\"error\":\"/dsc goes alone: DSC gives the instance on the standard input, not as switches.\"}" },
        { "Schema", { L"/dsc", L"schema" }, none, lwinOff, 0, lwinOff, CDscResource::Schema().GetString() },
    };
    for (const OperationCase& tested : cases)
    {
        SCOPED_TRACE(tested.pszName);
        if (tested.written == Written::noKey)
            DeleteLayoutKey(Scope::AllUsers);
        else if (tested.stored.empty())
            RemoveStoredLayout(Scope::AllUsers);
        else
            StoreLayout(Scope::AllUsers, tested.stored, tested.dwStoredType);
        // The resource manages the all-users value whatever the program's scope says.
        StoreScopeSetting(0);
        RemoveStoredLayout(Scope::CurrentUser);
        ForgetRestartPending();
        if (tested.bRestartPending)
            CLayoutEffect::MarkRestartPending(CRegistryApi::Real());
        std::optional<CDenyLayoutAccess> deny;
        if (tested.obstacle != Obstacle::none)
            deny.emplace(Scope::AllUsers, tested.obstacle == Obstacle::writesDenied ? CDenyLayoutAccess::writes : CDenyLayoutAccess::reads);
        CCountingRegistry registry;
        if (tested.written == Written::beforeWindowsStarted)
            registry.m_lastWriteTime = FILETIME{ 0, 0x01000000 };  // in 1657
        registry.m_queryValueResult = tested.queryValueResult;
        registry.m_setValueResult = tested.setValueResult;
        CFakeDscInput input = tested.input;
        CDscOutput output;

        EXPECT_EQ(tested.nExit, CDscResource::Run(Arguments(tested.args), input, registry, output));
        deny.reset();

        EXPECT_EQ(tested.expected.empty() ? std::nullopt : std::optional<Bytes>(tested.expected), StoredLayout(Scope::AllUsers));
        EXPECT_EQ(std::nullopt, StoredLayout(Scope::CurrentUser));
        std::wstring strData;
        for (const std::wstring& strLine : output.m_data)
            strData += (strData.empty() ? L"" : L"\n") + strLine;
        EXPECT_EQ(tested.strData, strData);
        EXPECT_NE(std::wstring::npos, output.Trace().find(tested.strTrace)) << testing::PrintToString(output.Trace());
        ExpectTraceLines(output, tested.nExit != 0);
        // Whatever the operation, what DSC pipes is read to its end; with the arguments wrong, or
        // for the schema, nothing is piped.
        EXPECT_EQ(Arguments(tested.args).m_strError.IsEmpty() && tested.args.back() != L"schema" ? 1 : 0, input.m_nReads);
        // An instance is waited for; an input that get and export merely check, briefly.
        if (input.m_nReads != 0)
        {
            EXPECT_EQ(tested.args.back() == L"set" || tested.args.back() == L"test" ? CDscResource::kInstanceWaitMs
                                                                                     : CDscResource::kOptionalInputWaitMs,
                      input.m_dwWaitMs);
        }
        // Only a change of the all-users value waits for the restart.
        EXPECT_EQ(tested.bRestartPending || tested.expected != tested.stored, RestartPending());
        EXPECT_EQ(0, registry.m_nOpenHandles);
    }
}

// ---- Inputs that are no instance ---------------------------------------------------------------------

struct BadInputCase
{
    const char* pszName;
    std::string strInput;
    std::wstring strError;  // a part of the one error line
};

// Every way an input can fail to be an instance ends set with 87, one error line and nothing
// changed, before the layout is so much as read.
TEST_F(DscResourceTest, RefusesEveryInputThatIsNoInstanceAndChangesNothing)
{
    const std::wstring strNotJson = L"The input is not a JSON instance: ";
    const BadInputCase cases[] = {
        { "BareWord", "{\"LWin\":disabled}", strNotJson + L"an invalid value at byte 8." },
        { "Truncated", "{\"LWin\":\"disabled\"", strNotJson + L"a member without a comma or closing brace after it at byte 18." },
        { "UnclosedString", "{\"LWin\":\"dis", strNotJson + L"a string without its closing quote" },
        { "MissingColon", "{\"LWin\" \"disabled\"}", strNotJson + L"a member name without a colon after it" },
        { "TrailingComma", "{\"LWin\":\"disabled\",}", strNotJson + L"a member without a name" },
        { "TwoInstances", "{\"LWin\":\"disabled\"}{\"LWin\":\"enabled\"}", strNotJson + L"something follows the instance at byte 19." },
        { "Comment", "{\"LWin\":\"disabled\"} // switched off", strNotJson + L"something follows the instance" },
        { "RawLineBreakInAString", "{\"LWin\":\"dis\nabled\"}", strNotJson + L"an invalid escape or a control character in a string" },
        { "BadEscape", "{\"LWin\":\"dis\\qabled\"}", strNotJson + L"an invalid escape or a control character in a string" },
        { "LoneSurrogateEscape", "{\"LWin\":\"\\ud800\"}", strNotJson + L"an invalid \\\\u escape in a string" },
        { "NotUtf8", "{\"LWin\":\"dis\xC3\x28" "abled\"}", strNotJson + L"bytes that are not UTF-8 at byte 12." },
        { "EncodedSurrogate", "{\"LWin\":\"\xED\xA0\x80\"}", strNotJson + L"bytes that are not UTF-8" },
        { "Latin1", "{\"LWin\":\"d\xE9sactiv\xE9\"}", strNotJson + L"bytes that are not UTF-8" },
        { "Utf16", std::string("{\0\"\0L\0W\0i\0n\0\"\0:\0", 16), L"The input holds a NUL byte at byte 1: the instance must be JSON text in UTF-8, not UTF-16." },
        { "NulBeforeMore", std::string("{\"LWin\":\"enabled\"}\0{\"LWin\":\"disabled\"}", 39), L"a NUL byte at byte 18" },
        { "Array", "[{\"LWin\":\"disabled\"}]", L"The instance must be a JSON object, such as {\\\"LWin\\\":\\\"disabled\\\"}, not an array." },
        { "String", "\"disabled\"", L"must be a JSON object, such as {\\\"LWin\\\":\\\"disabled\\\"}, not a string." },
        { "Number", "1", L"not a number." },
        { "NumberOutOfRange", "{\"LWin\":1e999999999}", strNotJson + L"a number out of range at byte 8." },
        { "Null", "null", L"not null." },
        { "UnknownMember", "{\"LWin\":\"disabled\",\"Delete\":\"disabled\"}",
          L"Unknown member \\\"Delete\\\": the members are the keys the schema lists (LWin, RWin, CapsLock, LCtrl, Apps, RCtrl, "
          L"LAlt, RAlt and more; /dsc schema prints them), each \\\"disabled\\\" or \\\"enabled\\\"." },
        { "NameInAnotherCase", "{\"lwin\":\"disabled\"}", L"Unknown member \\\"lwin\\\"" },
        { "DscsOwnMember", "{\"LWin\":\"disabled\",\"_exist\":true}", L"Unknown member \\\"_exist\\\"" },
        // The reported members are ignored, but no deeper than the resource reports them, and the
        // instance goes on being read after them.
        { "ReportedMemberNestedTooDeep", "{\"_restartRequired\":[[{\"system\":\"PC01\"}]]}",
          L"\\\"_restartRequired\\\" nests deeper than the resource ever reports it." },
        { "DeepInAReportedMember", "{\"remappedTo\":" + std::string(60000, '['), L"\\\"remappedTo\\\" nests deeper" },
        { "BadStateAfterAReportedMember", "{\"remappedTo\":{\"CapsLock\":\"LCtrl\"},\"_inDesiredState\":true,\"LWin\":\"off\"}",
          L"\\\"LWin\\\" must be \\\"disabled\\\" or \\\"enabled\\\", not \\\"off\\\"." },
        { "KeyAfterAReportedArray", "{\"_restartRequired\":[{\"system\":\"PC01\"}],\"Delete\":\"disabled\"}",
          L"Unknown member \\\"Delete\\\"" },
        { "NamedTwice", "{\"LWin\":\"enabled\",\"LWin\":\"disabled\"}", L"The member \\\"LWin\\\" is given twice." },
        { "NamedTwiceOnceEscaped", "{\"LWin\":\"disabled\",\"L\\u0057in\":\"disabled\"}", L"is given twice." },
        { "UnknownState", "{\"LWin\":\"off\"}", L"\\\"LWin\\\" must be \\\"disabled\\\" or \\\"enabled\\\", not \\\"off\\\"." },
        { "StateInAnotherCase", "{\"LWin\":\"Disabled\"}", L"not \\\"Disabled\\\"." },
        { "RemappedInAnotherCase", "{\"CapsLock\":\"Remapped\"}", L"not \\\"Remapped\\\"." },
        { "Boolean", "{\"LWin\":true}", L"\\\"LWin\\\" must be \\\"disabled\\\" or \\\"enabled\\\", not true." },
        { "NumberState", "{\"LWin\":0}", L"not a number." },
        { "NullState", "{\"LWin\":null}", L"not null." },
        { "ObjectState", "{\"LWin\":{\"state\":\"disabled\"}}", L"not an object." },
        { "ArrayState", "{\"LWin\":[\"disabled\"]}", L"not an array." },
        // A stack-eater for a recursive reader: refused at its first bracket.
        { "DeepArrays", std::string(60000, '['), L"not an array." },
        { "DeepInAMember", "{\"LWin\":" + std::string(60000, '{'), L"not an object." },
        // What an error quotes can neither steer a console nor run on for ever.
        { "EscapeSequenceInAName", "{\"\\u001b[2J\\u202e\":\"disabled\"}", L"Unknown member \\\"\xFFFD[2J\xFFFD\\\"" },
        // A \u0000 is shown, not taken for the end of the name.
        { "NulInAName", "{\"L\\u0000Win\\u200b\\ufeff\":\"disabled\"}", L"Unknown member \\\"L\xFFFDWin\xFFFD\xFFFD\\\"" },
        { "LongName", "{\"" + std::string(5000, 'x') + "\":\"disabled\"}",
          L"Unknown member \\\"" + std::wstring(40, L'x') + L"...\\\": the members" },
        { "Blank", "\t \r\n", L"No instance on the standard input" },
        { "ByteOrderMarkAlone", "\xEF\xBB\xBF", strNotJson + L"there is no value at byte 0." },
    };
    const Bytes stored = Untouchable(ScancodeMapValue({ { kLeftCtrl, kCapsLock }, { 0, kScrollLock } }));
    StoreLayout(Scope::AllUsers, stored);
    for (const BadInputCase& tested : cases)
    {
        SCOPED_TRACE(tested.pszName);
        for (const wchar_t* pszOperation : { L"set", L"test" })
        {
            CFakeDscInput input = Given(tested.strInput);
            CCountingRegistry registry;
            CDscOutput output;
            EXPECT_EQ(87, CDscResource::Run(Arguments({ L"/dsc", pszOperation }), input, registry, output));
            EXPECT_EQ(std::vector<std::wstring>{}, output.m_data);
            ASSERT_EQ(1u, output.m_trace.size()) << testing::PrintToString(output.Trace());
            EXPECT_NE(std::wstring::npos, output.m_trace[0].find(tested.strError)) << testing::PrintToString(output.m_trace[0]);
            ExpectTraceLines(output, true);
            EXPECT_EQ(0, registry.m_nOpens) << "the layout was read";
        }
    }
    EXPECT_EQ(stored, StoredLayout(Scope::AllUsers));
    EXPECT_FALSE(RestartPending());
}

// Instances with every byte mutated in turn, and at random: the reader takes an input whole or
// refuses it with a text, and takes nothing that is not an object of known keys and states.
// The schema names what the reader takes: every key of the table, titled as /status names it.
TEST(DscSchemaTest, ListsEveryKeyOfTheTableAndOnlyThose)
{
    const std::wstring strSchema = CDscResource::Schema().GetString();
    EXPECT_EQ(std::wstring::npos, strSchema.find_first_of(L"\r\n"));
    const std::wstring strKeys = strSchema.substr(strSchema.find(L"\"key\":{\"enum\":["));
    size_t nStates = 0;
    for (size_t nAt = strSchema.find(L"\"$ref\":\"#/$defs/state\""); nAt != std::wstring::npos;
         nAt = strSchema.find(L"\"$ref\":\"#/$defs/state\"", nAt + 1))
        ++nStates;
    EXPECT_EQ(CKeyTable::kCount, nStates);
    for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
    {
        const DisableableKey& key = CKeyTable::At(nRow);
        const std::wstring strName = L"\"" + std::wstring(key.pszName) + L"\"";
        SCOPED_TRACE(testing::PrintToString(strName));
        const std::wstring strTitle = nRow < CKeyTable::kDialogCount ? L"" : std::wstring(key.pszLabel) + L"\",\"$ref\"";
        EXPECT_NE(std::wstring::npos, strSchema.find(strName + L":{\"title\":\"" + strTitle));
        EXPECT_NE(std::wstring::npos, strKeys.find(strName));
        // Each is taken, in the case the schema gives it.
        const std::string strInstance = "{" + std::string(strName.begin(), strName.end()) + ":\"disabled\"}";
        DscDesiredState desired;
        CString strError;
        EXPECT_TRUE(ReadDscInstance(reinterpret_cast<const BYTE*>(strInstance.data()), strInstance.size(), desired, strError));
        EXPECT_EQ(CKeyTable::Bit(nRow), desired.managed & desired.disabled);
    }
}

TEST(DscInstanceReaderTest, NoMutantOfAnInstanceCrashesTheReaderOrPassesForWhatItIsNot)
{
    const std::string seeds[] = {
        "{\"LWin\":\"disabled\",\"RWin\":\"enabled\",\"CapsLock\":\"disabled\",\"LCtrl\":\"enabled\"}",
        "\xEF\xBB\xBF { \"CapsLock\" : \"enabled\" }\r\n",
        "{\"L\\u0057in\":\"dis\\u0061bled\"}",
        "{}",
        "{\"CapsLock\":\"remapped\",\"remappedTo\":{\"CapsLock\":\"LCtrl\"},\"_restartRequired\":[{\"system\":\"PC01\"}]}",
    };
    // Bytes that matter to JSON and UTF-8, and a few that do not.
    const std::string strAlphabet = std::string("{}[]\":,\\ \t\n0-1eE.tfnu\x80\xBF\xC0\xE0\xED\xF0\xF4\xFF", 29) + std::string(1, '\0');
    std::mt19937 random(20261208);
    int nAccepted = 0, nRefused = 0;
    for (const std::string& strSeed : seeds)
    {
        std::vector<std::string> mutants;
        for (size_t i = 0; i < strSeed.size(); ++i)
        {
            mutants.push_back(strSeed.substr(0, i));
            mutants.push_back(strSeed.substr(0, i) + strSeed.substr(i + 1));
            for (char ch : strAlphabet)
                mutants.push_back(strSeed.substr(0, i) + ch + strSeed.substr(i + 1));
        }
        for (int n = 0; n < 2000; ++n)
        {
            std::string strMutant = strSeed;
            for (int nEdits = 1 + static_cast<int>(random() % 4); nEdits > 0 && !strMutant.empty(); --nEdits)
            {
                const size_t nAt = random() % strMutant.size();
                const char ch = strAlphabet[random() % strAlphabet.size()];
                switch (random() % 4)
                {
                case 0: strMutant[nAt] = ch; break;
                case 1: strMutant.insert(strMutant.begin() + static_cast<ptrdiff_t>(nAt), ch); break;
                case 2: strMutant.erase(nAt, 1); break;
                default: strMutant.insert(nAt, strMutant.substr(nAt, random() % 8)); break;
                }
            }
            mutants.push_back(strMutant);
        }
        for (const std::string& strMutant : mutants)
        {
            DscDesiredState desired;
            desired.managed = desired.disabled = 0xFF;
            CString strError;
            const BOOL bRead = ReadDscInstance(reinterpret_cast<const BYTE*>(strMutant.data()), strMutant.size(), desired, strError);
            if (bRead)
            {
                ++nAccepted;
                EXPECT_TRUE(strError.IsEmpty());
                EXPECT_EQ(0u, desired.managed & ~CKeyTable::kEveryKey) << testing::PrintToString(strMutant);
                EXPECT_EQ(0u, desired.disabled & ~desired.managed) << testing::PrintToString(strMutant);
                EXPECT_EQ(0u, desired.remapped & (desired.disabled | ~desired.managed)) << testing::PrintToString(strMutant);
                // Whatever was taken was an object with nothing but keys' states in it, and what the
                // resource reports.
                const size_t nFirst = strMutant.find_first_not_of(std::string("\xEF\xBB\xBF \t\r\n", 7));
                EXPECT_TRUE(nFirst != std::string::npos && strMutant[nFirst] == '{') << testing::PrintToString(strMutant);
                EXPECT_TRUE(strMutant.find('[') == std::string::npos || strMutant.find("\"_restartRequired\"") != std::string::npos)
                    << testing::PrintToString(strMutant);
            }
            else
            {
                ++nRefused;
                EXPECT_EQ(0u, desired.managed | desired.disabled);
                EXPECT_FALSE(strError.IsEmpty()) << testing::PrintToString(strMutant);
                EXPECT_LT(strError.GetLength(), 300) << testing::PrintToString(strMutant);
            }
        }
    }
    // The mutants reach both outcomes, or they tested little.
    EXPECT_GT(nAccepted, 100);
    EXPECT_GT(nRefused, 10000);
}
}  // namespace
