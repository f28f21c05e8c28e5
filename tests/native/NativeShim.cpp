// A native stand-in for the clock function of util/pres_win.cpp that the portable tests
// reach: the same contract over the C library's clock instead of GetLocalTime.

#include <sys/time.h>

#include <ctime>

#include "util/pres.h"

TDateTime Now() {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    const std::time_t seconds = tv.tv_sec;
    std::tm t{};
    localtime_r(&seconds, &t);
    return EncodeDateTime(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                          static_cast<int>(tv.tv_usec / 1000));
}
