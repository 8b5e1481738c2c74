#include "RegTool.h"

#include <gtest/gtest.h>


const WCHAR g_szMachineLayout[] = L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Keyboard Layout";
const WCHAR g_szUserLayout[] = L"HKCU\\Keyboard Layout";
const WCHAR g_szScancodeMap[] = L"Scancode Map";
const WCHAR g_szProgramSettings[] = L"HKCU\\Software\\MorvexSoft\\Morvex Disabler by MorvexSoft\\Settings";
const WCHAR g_szProgramVendor[] = L"HKCU\\Software\\MorvexSoft";
const WCHAR g_szScopeSetting[] = L"m_bApplyChangesForAllUsers";

namespace
{
std::wstring SystemReg()
{
    WCHAR szFolder[MAX_PATH] = {};
    ::GetSystemDirectoryW(szFolder, MAX_PATH);
    return std::wstring(szFolder) + L"\\reg.exe";
}

// The data after the type column of the line that names the value; reg.exe separates columns by
// four spaces, and a value's name may have spaces of its own.
std::optional<std::wstring> DataOf(const std::wstring& strOutput, const std::wstring& strName)
{
    static const WCHAR* const s_types[] = { L"REG_BINARY", L"REG_DWORD", L"REG_SZ", L"REG_EXPAND_SZ", L"REG_MULTI_SZ", L"REG_QWORD", L"REG_NONE" };
    size_t nLineStart = 0;
    while (nLineStart < strOutput.size())
    {
        size_t nLineEnd = strOutput.find(L'\n', nLineStart);
        if (nLineEnd == std::wstring::npos)
            nLineEnd = strOutput.size();
        std::wstring strLine = strOutput.substr(nLineStart, nLineEnd - nLineStart);
        if (!strLine.empty() && strLine.back() == L'\r')
            strLine.pop_back();
        nLineStart = nLineEnd + 1;

        const std::wstring strHead = L"    " + strName + L"    ";
        if (strLine.compare(0, strHead.size(), strHead) != 0)
            continue;
        for (const WCHAR* pszType : s_types)
        {
            const std::wstring strType = pszType;
            if (strLine.compare(strHead.size(), strType.size(), strType) != 0)
                continue;
            const size_t nData = strHead.size() + strType.size() + 4;
            return nData <= strLine.size() ? strLine.substr(nData) : std::wstring();
        }
    }
    return std::nullopt;
}

void ExpectSuccess(const RunResult& result, const std::vector<std::wstring>& args)
{
    std::wstring strCommand;
    for (const std::wstring& strArg : args)
        strCommand += L" " + strArg;
    EXPECT_EQ(0u, result.dwExitCode) << "reg" << testing::PrintToString(strCommand) << " said "
                                    << testing::PrintToString(result.strOutput);
}
}  // namespace

RunResult RunReg(const std::vector<std::wstring>& args)
{
    return RunCaptured(SystemReg(), args);
}

std::optional<std::wstring> QueryValue(const std::wstring& strKey, const std::wstring& strValue)
{
    const RunResult result = RunReg({ L"query", strKey, L"/v", strValue });
    if (result.dwExitCode != 0)
        return std::nullopt;
    return DataOf(result.strOutput, strValue);
}

std::optional<std::wstring> QueryDefaultValue(const std::wstring& strKey)
{
    const RunResult result = RunReg({ L"query", strKey, L"/ve" });
    if (result.dwExitCode != 0)
        return std::nullopt;
    return DataOf(result.strOutput, L"(Default)");
}

void AddBinary(const std::wstring& strKey, const std::wstring& strValue, const std::wstring& strHex)
{
    const std::vector<std::wstring> args = { L"add", strKey, L"/v", strValue, L"/t", L"REG_BINARY", L"/d", Hex(strHex), L"/f" };
    ExpectSuccess(RunReg(args), args);
}

void AddDword(const std::wstring& strKey, const std::wstring& strValue, DWORD dwData)
{
    const std::vector<std::wstring> args = { L"add", strKey, L"/v", strValue, L"/t", L"REG_DWORD", L"/d", std::to_wstring(dwData), L"/f" };
    ExpectSuccess(RunReg(args), args);
}

void AddDefaultString(const std::wstring& strKey, const std::wstring& strData)
{
    const std::vector<std::wstring> args = { L"add", strKey, L"/ve", L"/d", strData, L"/f" };
    ExpectSuccess(RunReg(args), args);
}

void DeleteValue(const std::wstring& strKey, const std::wstring& strValue)
{
    if (QueryValue(strKey, strValue))
    {
        const std::vector<std::wstring> args = { L"delete", strKey, L"/v", strValue, L"/f" };
        ExpectSuccess(RunReg(args), args);
    }
}

void DeleteKey(const std::wstring& strKey)
{
    if (RunReg({ L"query", strKey }).dwExitCode == 0)
    {
        const std::vector<std::wstring> args = { L"delete", strKey, L"/f" };
        ExpectSuccess(RunReg(args), args);
    }
}

std::wstring Hex(const std::wstring& strGrouped)
{
    std::wstring strHex;
    for (WCHAR ch : strGrouped)
    {
        if (ch != L' ')
            strHex += ch;
    }
    return strHex;
}

void ForgetEverything()
{
    DeleteValue(g_szMachineLayout, g_szScancodeMap);
    DeleteValue(g_szUserLayout, g_szScancodeMap);
    DeleteKey(g_szProgramVendor);
}
