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

namespace {

// Days from 1899-12-30 to the given civil date (proleptic Gregorian).
double DaysFromEpoch(int year, int month, int day) {
    year -= month <= 2;
    const int era = (year >= 0 ? year : year - 399) / 400;
    const int yoe = year - era * 400;
    const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long long days1970 = static_cast<long long>(era) * 146097 + doe - 719468;
    return static_cast<double>(days1970 + 25569);
}

TDateTime ToDateTime(int year, int month, int day, int hour, int minute, int second) {
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59)
        return 0;
    return DaysFromEpoch(year, month, day) + (hour * 3600 + minute * 60 + second) / 86400.0;
}

} // namespace

TDateTime DosToDateTime(WORD date, WORD time) {
    return ToDateTime(1980 + (date >> 9), (date >> 5) & 15, date & 31, time >> 11, (time >> 5) & 63,
                      (time & 31) * 2);
}

TDateTime FileTimeToLocalDateTime(const FILETIME& utc) {
    SYSTEMTIME st;
    if (!FileTimeToLocalSystemTime(utc, st)) return 0;
    return ToDateTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
}
