#include "pack/DosTime.h"

bool FileTimeToLocalSystemTime(const FILETIME& utc, SYSTEMTIME& local) {
    SYSTEMTIME st;
    return FileTimeToSystemTime(&utc, &st) && SystemTimeToTzSpecificLocalTime(nullptr, &st, &local);
}

bool FileTimeToLocalDos(const FILETIME& utc, WORD& date, WORD& time) {
    SYSTEMTIME local;
    FILETIME asFileTime;
    return FileTimeToLocalSystemTime(utc, local) && SystemTimeToFileTime(&local, &asFileTime) &&
           FileTimeToDosDateTime(&asFileTime, &date, &time);
}

bool LocalDosToFileTime(WORD date, WORD time, FILETIME& utc) {
    FILETIME local;
    SYSTEMTIME localTime, st;
    return DosDateTimeToFileTime(date, time, &local) && FileTimeToSystemTime(&local, &localTime) &&
           TzSpecificLocalTimeToSystemTime(nullptr, &localTime, &st) &&
           SystemTimeToFileTime(&st, &utc);
}
