// libFuzzer target: any bytes as the DSC resource's instance on the standard input.
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "dsc/DscInstance.h"
#include "tests/fuzz/ShownErrorProperties.h"

namespace
{
void Broken(const char* pszWhat)
{
    fprintf(stderr, "broken: %s\n", pszWhat);
    abort();
}

// The instance that asks for exactly this, as DSC would hand it over.
std::string Canonical(const DscDesiredState& desired)
{
    std::string strText = "{";
    for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
    {
        if ((desired.managed & CKeyTable::Bit(nRow)) == 0)
            continue;
        if (strText.size() > 1)
            strText += ",";
        strText += "\"";
        for (const wchar_t* p = CKeyTable::At(nRow).pszName; *p != L'\0'; ++p)
            strText += static_cast<char>(*p);
        strText += (desired.disabled & CKeyTable::Bit(nRow)) != 0 ? "\":\"disabled\"" : "\":\"enabled\"";
    }
    return strText + "}";
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cbData)
{
    DscDesiredState desired;
    desired.managed = desired.disabled = CKeyTable::kEveryKey;
    CString strError;
    const BOOL bRead = ReadDscInstance(pData, cbData, desired, strError);
    if (!bRead)
    {
        if (strError.IsEmpty())
            Broken("refused without a word");
        if (desired.managed != 0 || desired.disabled != 0)
            Broken("a refused instance left a desired state");
        shown::CheckError(strError.GetString());
        return 0;
    }
    if (!strError.IsEmpty())
        Broken("read, and an error besides");
    if ((desired.managed & ~CKeyTable::kEveryKey) != 0 || (desired.disabled & ~desired.managed) != 0)
        Broken("a key desired that no member named");
    // What was read, written as an instance and read again, asks for the same.
    const std::string strAgain = Canonical(desired);
    DscDesiredState again;
    if (!ReadDscInstance(reinterpret_cast<const BYTE*>(strAgain.data()), strAgain.size(), again, strError) ||
        again.managed != desired.managed || again.disabled != desired.disabled)
        Broken("the state read does not read back the same");
    return 0;
}
