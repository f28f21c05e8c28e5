#include "util/DateTime.h"

#include <cmath>
#include <cwctype>
#include <vector>

#include "util/Errors.h"

namespace {

// Days from 0001-01-01 (proleptic Gregorian) to 1899-12-30, the system's day zero.
constexpr long long kDayZero = 693594;

bool IsLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

// Day number counted from 0001-01-01 = 1.
long long DayNumber(int y, int m, int d) {
    long long n = d;
    for (int i = 1; i < m; ++i)
        n += DaysInMonth(y, i);
    long long py = y - 1;
    return n + py * 365 + py / 4 - py / 100 + py / 400;
}

void CivilFromDayNumber(long long n, int& y, int& m, int& d) {
    // n counted from 0001-01-01 = 1.
    long long days = n - 1;
    long long y400 = days / 146097;
    days %= 146097;
    long long y100 = days / 36524;
    if (y100 == 4) y100 = 3;
    days -= y100 * 36524;
    long long y4 = days / 1461;
    days %= 1461;
    long long y1 = days / 365;
    if (y1 == 4) y1 = 3;
    days -= y1 * 365;
    y = static_cast<int>(y400 * 400 + y100 * 100 + y4 * 4 + y1 + 1);
    m = 1;
    while (days >= DaysInMonth(y, m)) {
        days -= DaysInMonth(y, m);
        ++m;
    }
    d = static_cast<int>(days) + 1;
}

bool ValidDate(int year, int month, int day) {
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           day <= DaysInMonth(year, month);
}

bool ValidTime(int hour, int minute, int second, int millisecond) {
    return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59 &&
           millisecond >= 0 && millisecond <= 999;
}

// The day plus the time of day as its fraction.
TDateTime Combine(TDateTime date, int hour, int minute, int second, int millisecond) {
    double fraction =
        (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond) / 86400000.0;
    // Before day zero the fraction counts away from zero, as the date-time type defines.
    return date < 0 ? date - fraction : date + fraction;
}

std::wstring Pad(int value, int width) {
    std::wstring s = std::to_wstring(value);
    while (static_cast<int>(s.size()) < width)
        s.insert(s.begin(), L'0');
    return s;
}

} // namespace

TFormatSettings& FormatSettings() {
    static TFormatSettings settings;
    return settings;
}

void FixStartupFormats(wchar_t timeSeparator) {
    TFormatSettings& f = FormatSettings();
    f.ShortDateFormat = L"YYYY-MM-DD";
    f.LongDateFormat = L"YYYY-MM-DD";
    f.DateSeparator = L'-';
    f.ShortTimeFormat = L"hh:mm:ss";
    f.LongTimeFormat = L"hh:mm:ss";
    f.TimeSeparator = timeSeparator;
    f.AutoRefresh = false;
}

TDateTime EncodeDate(int year, int month, int day) {
    if (!ValidDate(year, month, day)) throw EConvertError(L"Invalid argument to date encode");
    return static_cast<TDateTime>(DayNumber(year, month, day) - kDayZero);
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int millisecond) {
    if (!ValidTime(hour, minute, second, millisecond))
        throw EConvertError(L"Invalid argument to time encode");
    return Combine(EncodeDate(year, month, day), hour, minute, second, millisecond);
}

bool TryEncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                       int millisecond, TDateTime& value) {
    if (!ValidDate(year, month, day) || !ValidTime(hour, minute, second, millisecond)) return false;
    value = Combine(static_cast<TDateTime>(DayNumber(year, month, day) - kDayZero), hour, minute,
                    second, millisecond);
    return true;
}

TDateTime DateTimeFromDos(std::uint16_t date, std::uint16_t time) {
    TDateTime value = 0;
    if (!TryEncodeDateTime(1980 + (date >> 9), (date >> 5) & 15, date & 31, time >> 11,
                           (time >> 5) & 63, (time & 31) * 2, 0, value))
        return 0;
    return value;
}

void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& minute,
                    int& second, int& millisecond) {
    double whole = std::trunc(value);
    long long ms = std::llround(std::fabs(value - whole) * 86400000.0);
    long long dayCount = static_cast<long long>(whole);
    if (ms >= 86400000LL) {
        ms -= 86400000LL;
        dayCount += value < 0 ? -1 : 1;
    }
    CivilFromDayNumber(dayCount + kDayZero, year, month, day);
    hour = static_cast<int>(ms / 3600000);
    minute = static_cast<int>(ms / 60000 % 60);
    second = static_cast<int>(ms / 1000 % 60);
    millisecond = static_cast<int>(ms % 1000);
}

std::wstring FormatDateTime(const std::wstring& format, TDateTime value) {
    int y, mo, d, h, mi, s, ms;
    DecodeDateTime(value, y, mo, d, h, mi, s, ms);
    const TFormatSettings& f = FormatSettings();
    std::wstring out;
    bool lastWasHour = false;
    std::size_t i = 0;
    auto run = [&](wchar_t c) {
        std::size_t n = 0;
        while (i + n < format.size() && static_cast<wchar_t>(std::towlower(format[i + n])) == c)
            ++n;
        return n;
    };
    while (i < format.size()) {
        wchar_t c = static_cast<wchar_t>(std::towlower(format[i]));
        std::size_t n = 0;
        switch (c) {
        case L'y':
            n = run(L'y');
            out += n <= 2 ? Pad(y % 100, 2) : Pad(y, 4);
            lastWasHour = false;
            break;
        case L'm':
            n = run(L'm');
            if (lastWasHour) {
                out += n >= 2 ? Pad(mi, 2) : std::to_wstring(mi);
            } else {
                out += n >= 2 ? Pad(mo, 2) : std::to_wstring(mo);
            }
            lastWasHour = false;
            break;
        case L'd':
            n = run(L'd');
            out += n >= 2 ? Pad(d, 2) : std::to_wstring(d);
            lastWasHour = false;
            break;
        case L'h':
            n = run(L'h');
            out += n >= 2 ? Pad(h, 2) : std::to_wstring(h);
            lastWasHour = true;
            break;
        case L'n':
            n = run(L'n');
            out += n >= 2 ? Pad(mi, 2) : std::to_wstring(mi);
            lastWasHour = false;
            break;
        case L's':
            n = run(L's');
            out += n >= 2 ? Pad(s, 2) : std::to_wstring(s);
            lastWasHour = false;
            break;
        case L'z':
            n = run(L'z');
            out += n >= 3 ? Pad(ms, 3) : std::to_wstring(ms);
            break;
        case L':':
            n = 1;
            out += f.TimeSeparator;
            break;
        case L'/':
            n = 1;
            out += f.DateSeparator;
            break;
        case L'"':
        case L'\'': {
            std::size_t close = format.find(format[i], i + 1);
            if (close == std::wstring::npos) close = format.size();
            out += format.substr(i + 1, close - i - 1);
            n = close - i + 1;
            break;
        }
        default:
            n = 1;
            out += format[i];
            break;
        }
        i += n;
    }
    return out;
}

std::wstring DateToStr(TDateTime value) {
    return FormatDateTime(FormatSettings().ShortDateFormat, value);
}

std::wstring TimeToStr(TDateTime value) {
    return FormatDateTime(FormatSettings().LongTimeFormat, value);
}

std::wstring DateTimeToStr(TDateTime value) {
    std::wstring text = DateToStr(value);
    if (value != std::trunc(value)) text += L" " + TimeToStr(value);
    return text;
}

TDateTime StrToDate(const std::wstring& text) {
    const TFormatSettings& f = FormatSettings();
    auto invalid = [&text]() { return EConvertError(L"'" + text + L"' is not a valid date"); };
    // The order of the parts follows the short date format.
    std::wstring order;
    for (wchar_t c : f.ShortDateFormat) {
        wchar_t l = static_cast<wchar_t>(std::towlower(c));
        if ((l == L'y' || l == L'm' || l == L'd') && order.find(l) == std::wstring::npos)
            order += l;
    }
    if (order.size() != 3) order = L"ymd";
    std::vector<int> parts;
    std::size_t i = 0;
    while (i < text.size() && text[i] == L' ')
        ++i;
    while (i < text.size() && parts.size() < 3) {
        if (text[i] < L'0' || text[i] > L'9') throw invalid();
        long value = 0;
        std::size_t digits = 0;
        while (i < text.size() && text[i] >= L'0' && text[i] <= L'9' && digits < 5) {
            value = value * 10 + (text[i] - L'0');
            ++i;
            ++digits;
        }
        parts.push_back(static_cast<int>(value));
        if (i < text.size()) {
            if (text[i] != f.DateSeparator || parts.size() == 3) break;
            ++i;
        }
    }
    while (i < text.size() && text[i] == L' ')
        ++i;
    if (parts.size() != 3 || i != text.size()) throw invalid();
    int y = 0, m = 0, d = 0;
    for (std::size_t k = 0; k < 3; ++k) {
        if (order[k] == L'y') y = parts[k];
        if (order[k] == L'm') m = parts[k];
        if (order[k] == L'd') d = parts[k];
    }
    try {
        return EncodeDate(y, m, d);
    } catch (const EConvertError&) {
        throw invalid();
    }
}
