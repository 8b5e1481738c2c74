// A moment as local time: to the minute for people, and in ISO 8601 with its offset for scripts.
#pragma once

#include "framework/afxstr.h"

// "2026-12-07 19:30". Empty when the moment cannot be shown (beyond the year 30827).
CString LocalTimeText(const FILETIME& ftUtc);
// "2026-12-07T19:30:05+01:00": the offset is always written, "+00:00" too, and is the one of the
// local time zone at that moment, daylight saving included. Empty when the moment cannot be shown.
CString IsoTimeText(const FILETIME& ftUtc);
