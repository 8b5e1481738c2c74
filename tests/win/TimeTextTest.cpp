// Moments as local time for people and scripts, in whatever time zone the host gives Wine.
#include <gtest/gtest.h>

#include <string>

#include "cmdline/TimeText.h"

namespace
{
LONGLONG Ticks(const SYSTEMTIME& st)
{
    FILETIME ft = {};
    EXPECT_TRUE(::SystemTimeToFileTime(&st, &ft));
    return static_cast<LONGLONG>((ULONGLONG{ ft.dwHighDateTime } << 32) | ft.dwLowDateTime);
}

// d stands for a digit, # for a plus or a minus sign; every other character for itself.
bool HasShape(const std::wstring& strText, const std::wstring& strShape)
{
    if (strText.size() != strShape.size())
        return false;
    for (size_t i = 0; i < strText.size(); ++i)
    {
        const wchar_t ch = strText[i];
        const bool bFits = strShape[i] == L'd' ? iswdigit(ch) != 0 : strShape[i] == L'#' ? ch == L'+' || ch == L'-' : ch == strShape[i];
        if (!bFits)
            return false;
    }
    return true;
}

// Winter and summer of this year in either hemisphere, where the zone's rules are today's, and a
// moment just before a UTC midnight, a date away from many zones' own.
TEST(TimeTextTest, ShowsTheLocalTimeAndTheOffsetOfThatMoment)
{
    SYSTEMTIME now;
    ::GetSystemTime(&now);
    const SYSTEMTIME moments[] = {
        { now.wYear, 1, 0, 15, 12, 34, 56, 789 },
        { now.wYear, 7, 0, 15, 0, 5, 9, 0 },
        { now.wYear, 12, 0, 7, 23, 59, 59, 999 },
    };
    for (SYSTEMTIME utc : moments)
    {
        SCOPED_TRACE(utc.wMonth);
        FILETIME ftUtc;
        ASSERT_TRUE(::SystemTimeToFileTime(&utc, &ftUtc));
        const std::wstring strIso = IsoTimeText(ftUtc).GetString();
        ASSERT_TRUE(HasShape(strIso, L"dddd-dd-ddTdd:dd:dd#dd:dd")) << testing::PrintToString(strIso);

        utc.wMilliseconds = 0;
        SYSTEMTIME local;
        ASSERT_TRUE(::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local));
        wchar_t szLocal[20];
        swprintf(szLocal, 20, L"%04u-%02u-%02uT%02u:%02u:%02u", local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute,
                 local.wSecond);
        EXPECT_EQ(szLocal, strIso.substr(0, 19));
        // The local time less its offset is the moment itself.
        const LONGLONG nOffset = (strIso[19] == L'-' ? -1 : 1) * (std::stoi(strIso.substr(20, 2)) * 60 + std::stoi(strIso.substr(23, 2)));
        EXPECT_EQ(Ticks(utc), Ticks(local) - nOffset * 60 * 10000000);

        EXPECT_EQ(strIso.substr(0, 10) + L" " + strIso.substr(11, 5), std::wstring(LocalTimeText(ftUtc)));
    }

    // Beyond what a SYSTEMTIME holds.
    const FILETIME ftTooLate = { 0xFFFFFFFF, 0xFFFFFFFF };
    EXPECT_EQ(L"", std::wstring(IsoTimeText(ftTooLate)) + LocalTimeText(ftTooLate).GetString());
}
}  // namespace
