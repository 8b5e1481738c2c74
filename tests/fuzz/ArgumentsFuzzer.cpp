// libFuzzer target: any arguments through the command line's grammar.
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "cmdline/CommandLineArguments.h"
#include "tests/fuzz/ShownErrorProperties.h"

namespace
{
void Broken(const char* pszWhat)
{
    fprintf(stderr, "broken: %s\n", pszWhat);
    abort();
}

// The bytes as UTF-16LE code units, split into arguments at each U+0000, as the C run-time hands
// them over; a '/' or '-' first makes a switch, as the framework's ParseCommandLine does.
std::vector<std::wstring> Arguments(const uint8_t* pData, size_t cbData)
{
    std::vector<std::wstring> args(1);
    for (size_t i = 0; i + 1 < cbData && args.size() <= 64; i += 2)
    {
        const wchar_t ch = static_cast<wchar_t>(pData[i] | pData[i + 1] << 8);
        if (ch == L'\0')
            args.emplace_back();
        else
            args.back() += ch;
    }
    return args;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cbData)
{
    const std::vector<std::wstring> args = Arguments(pData, cbData);
    CMorvexCommandLineInfo info;
    for (size_t k = 0; k < args.size(); ++k)
    {
        const bool bFlag = !args[k].empty() && (args[k][0] == L'/' || args[k][0] == L'-');
        info.ParseParam(args[k].c_str() + (bFlag ? 1 : 0), bFlag, k + 1 == args.size());
    }
    if (!info.HasArguments())
        Broken("arguments given, and none counted");
    if (!info.m_strError.IsEmpty())
    {
        shown::CheckError(info.m_strError.GetString());
        return 0;
    }
    // Good arguments ask for one thing that can be done.
    if (((info.m_disable | info.m_enable) & ~CKeyTable::kEveryKey) != 0 || (info.m_disable & info.m_enable) != 0)
        Broken("a key named in both lists, or one of no row");
    const bool bChange = (info.m_disable | info.m_enable) != 0 || info.m_bEnableDisabled;
    if (info.m_bDsc ? (bChange || info.m_bStatus || info.m_bUsage || info.m_dsc == DscOperation::none)
                    : (bChange ? info.m_bStatus || info.m_bUsage : info.m_bRestart || !(info.m_bStatus || info.m_bUsage)))
        Broken("arguments taken that ask for nothing, or for two things at once");
    return 0;
}
