#pragma once
// A file's time (UTC, as the file system keeps it) as local time and back, at the offset in
// force at that moment (its own daylight saving time, not today's), as archivers and the
// status monitor read it; and the local DOS date and time pair that archives store. The
// calendar arithmetic itself is util/DateTime's.

#include <windows.h>

#include "util/DateTime.h"

// The local calendar time of a file time.
bool FileTimeToLocal(const FILETIME& utc, SYSTEMTIME& local);
// The local date-time of a file time, to the millisecond.
bool FileTimeToLocal(const FILETIME& utc, TDateTime& local);
// The local DOS date and time pair of a file time (years 1980 to 2107 only).
bool FileTimeToDos(const FILETIME& utc, WORD& date, WORD& time);
// The file time of a local DOS date and time pair.
bool DosToFileTime(WORD date, WORD time, FILETIME& utc);
