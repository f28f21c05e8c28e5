#include "util/LocalTime.h"

bool FileTimeToLocal(const FILETIME& utc, SYSTEMTIME& local) {
    SYSTEMTIME st;
    return FileTimeToSystemTime(&utc, &st) && SystemTimeToTzSpecificLocalTime(nullptr, &st, &local);
}

bool FileTimeToLocal(const FILETIME& utc, TDateTime& local) {
    SYSTEMTIME st;
    return FileTimeToLocal(utc, st) &&
           TryEncodeDateTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond,
                             st.wMilliseconds, local);
}

bool FileTimeToDos(const FILETIME& utc, WORD& date, WORD& time) {
    SYSTEMTIME local;
    FILETIME asFileTime;
    return FileTimeToLocal(utc, local) && SystemTimeToFileTime(&local, &asFileTime) &&
           FileTimeToDosDateTime(&asFileTime, &date, &time);
}

bool DosToFileTime(WORD date, WORD time, FILETIME& utc) {
    FILETIME local;
    SYSTEMTIME localTime, st;
    return DosDateTimeToFileTime(date, time, &local) && FileTimeToSystemTime(&local, &localTime) &&
           TzSpecificLocalTimeToSystemTime(nullptr, &localTime, &st) &&
           SystemTimeToFileTime(&st, &utc);
}
