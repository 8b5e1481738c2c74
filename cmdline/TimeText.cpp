#include "cmdline/TimeText.h"

namespace
{
LONGLONG Ticks(const FILETIME& ft)
{
    return static_cast<LONGLONG>((static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

// The moment in the local time zone, to the second, and its offset from UTC in minutes.
BOOL ToLocalTime(const FILETIME& ftUtc, SYSTEMTIME& local, int& nOffsetMinutes)
{
    SYSTEMTIME utc;
    if (!::FileTimeToSystemTime(&ftUtc, &utc))
        return FALSE;
    utc.wMilliseconds = 0;

    // The zone's rules of that moment's year, for a moment from before the rules last changed; the
    // rules in force now where they cannot be had, or where daylight saving is switched off.
    // (SystemTimeToTzSpecificLocalTimeEx would do the same, but Wine's kernel32 lacks it.)
    DYNAMIC_TIME_ZONE_INFORMATION zone = {};
    TIME_ZONE_INFORMATION rules = {};
    const BOOL bYearRules = ::GetDynamicTimeZoneInformation(&zone) != TIME_ZONE_ID_INVALID && !zone.DynamicDaylightTimeDisabled &&
                            ::GetTimeZoneInformationForYear(utc.wYear, &zone, &rules);
    if (!::SystemTimeToTzSpecificLocalTime(bYearRules ? &rules : nullptr, &utc, &local))
        return FALSE;

    FILETIME ftWholeUtc, ftLocal;
    if (!::SystemTimeToFileTime(&utc, &ftWholeUtc) || !::SystemTimeToFileTime(&local, &ftLocal))
        return FALSE;
    nOffsetMinutes = static_cast<int>((Ticks(ftLocal) - Ticks(ftWholeUtc)) / (60 * 10000000LL));
    return TRUE;
}
}  // namespace

CString LocalTimeText(const FILETIME& ftUtc)
{
    CString strText;
    SYSTEMTIME local;
    int nOffsetMinutes = 0;
    if (ToLocalTime(ftUtc, local, nOffsetMinutes))
        strText.Format(L"%04u-%02u-%02u %02u:%02u", local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute);
    return strText;
}

CString IsoTimeText(const FILETIME& ftUtc)
{
    CString strText;
    SYSTEMTIME local;
    int nOffsetMinutes = 0;
    if (ToLocalTime(ftUtc, local, nOffsetMinutes))
    {
        const int nAbsolute = nOffsetMinutes < 0 ? -nOffsetMinutes : nOffsetMinutes;
        strText.Format(L"%04u-%02u-%02uT%02u:%02u:%02u%c%02d:%02d", local.wYear, local.wMonth, local.wDay, local.wHour,
                       local.wMinute, local.wSecond, nOffsetMinutes < 0 ? L'-' : L'+', nAbsolute / 60, nAbsolute % 60);
    }
    return strText;
}
