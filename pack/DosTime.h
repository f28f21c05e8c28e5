#pragma once
// Conversions between a file's time (UTC) and the local DOS date and time pair that cabinet
// and ZIP archives store. The local time is the one in force at that moment (daylight saving
// time included), as other archivers read and write it, not the offset of today.

#include <windows.h>

#include "util/DateTime.h"

bool FileTimeToLocalDos(const FILETIME& utc, WORD& date, WORD& time);
bool LocalDosToFileTime(WORD date, WORD time, FILETIME& utc);
// The local calendar time of a file time, at that moment's offset.
bool FileTimeToLocalSystemTime(const FILETIME& utc, SYSTEMTIME& local);
// The local date-time of a file time to the second; 0 when it cannot be converted.
TDateTime FileTimeToLocalDateTime(const FILETIME& utc);
// The stored DOS date and time; 0 for a pair that names no valid moment.
TDateTime DosToDateTime(WORD date, WORD time);
