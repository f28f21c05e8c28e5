#pragma once
// Dates and times as the system counts them (days since 1899-12-30, the time of day as the
// fraction), and the process-wide date and time formats that every conversion between dates
// and texts uses. Start-up fixes the formats (FixStartupFormats) and nothing refreshes them
// from the regional settings afterwards. Needs no platform.

#include <cstdint>
#include <string>

using TDateTime = double;

struct TFormatSettings {
    std::wstring ShortDateFormat = L"YYYY-MM-DD";
    std::wstring LongDateFormat = L"YYYY-MM-DD";
    wchar_t DateSeparator = L'-';
    std::wstring ShortTimeFormat = L"hh:mm:ss";
    std::wstring LongTimeFormat = L"hh:mm:ss";
    // The regional time separator; ":" in a format stands for it.
    wchar_t TimeSeparator = L':';
    // Whether the settings follow changes of the regional settings (off after start-up).
    bool AutoRefresh = true;
};

// The one set of format settings of the process.
TFormatSettings& FormatSettings();

// Start-up steps 2 to 4: both date formats "YYYY-MM-DD" with the separator "-", both time
// formats "hh:mm:ss", the time separator left at timeSeparator (the regional value), and
// automatic refresh off.
void FixStartupFormats(wchar_t timeSeparator);

TDateTime EncodeDate(int year, int month, int day); // throws EConvertError when invalid
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int millisecond = 0);
// EncodeDateTime without the failure: false (value untouched) for parts that name no moment.
bool TryEncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                       int millisecond, TDateTime& value);
void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& minute,
                    int& second, int& millisecond);

// The date-time of a DOS date and time pair as archives store it (years 1980 to 2107, seconds
// in steps of two); 0 (1899-12-30) for a pair that names no moment (month 0, 30 February,
// 60 seconds).
TDateTime DateTimeFromDos(std::uint16_t date, std::uint16_t time);

// Formats with the process-wide settings: the short date format, the long time format, and
// the date followed by a space and the time (the time left out at exactly midnight).
std::wstring DateToStr(TDateTime value);
std::wstring TimeToStr(TDateTime value);
std::wstring DateTimeToStr(TDateTime value);
// Formats a value with a format of the tokens YYYY, YY, MM, M, DD, D, hh, h, nn, mm (minutes
// after an hour), ss, z, zzz; ":" gives the time separator, "/" the date separator, "-" and
// other characters stand for themselves.
std::wstring FormatDateTime(const std::wstring& format, TDateTime value);
// Reads a date in the order of the short date format (year, month, day) with the date
// separator; raises EConvertError with the text '"<text>" is not a valid date'.
TDateTime StrToDate(const std::wstring& text);
