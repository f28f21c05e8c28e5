#include <gtest/gtest.h>

#include <regex>
#include <utility>

#include "util/pres.h"

namespace {

// Restores the start-up formats after a test changed them.
class DateFormats : public testing::Test {
protected:
    void TearDown() override { FixStartupFormats(L':'); }
};

TEST_F(DateFormats, StartUpFixesTheFormatsAndSwitchesRefreshOff) {
    // A system with other regional settings: day.month.year and "." between time parts.
    TFormatSettings& f = FormatSettings();
    f.ShortDateFormat = L"DD.MM.YYYY";
    f.DateSeparator = L'.';
    f.AutoRefresh = true;
    FixStartupFormats(L'.');
    EXPECT_EQ(f.ShortDateFormat, L"YYYY-MM-DD");
    EXPECT_EQ(f.LongDateFormat, L"YYYY-MM-DD");
    EXPECT_EQ(f.DateSeparator, L'-');
    EXPECT_EQ(f.ShortTimeFormat, L"hh:mm:ss");
    EXPECT_FALSE(f.AutoRefresh);

    const TDateTime t = EncodeDateTime(2024, 1, 15, 13, 45, 2);
    EXPECT_EQ(DateToStr(t), L"2024-01-15");
    EXPECT_EQ(TimeToStr(t), L"13.45.02"); // the regional time separator stays
    EXPECT_EQ(DateTimeToStr(t), L"2024-01-15 13.45.02");
    EXPECT_EQ(StrToDate(L"2024-01-15"), EncodeDate(2024, 1, 15));
}

TEST_F(DateFormats, TextsOfTheFixedFormReadBackAsDates) {
    for (const wchar_t* text : {L"1900-01-01", L"2021-05-16", L"2000-02-29", L"9999-12-31"})
        EXPECT_EQ(DateToStr(StrToDate(text)), text);
    EXPECT_EQ(DateTimeToStr(EncodeDate(2021, 5, 16)), L"2021-05-16"); // midnight: no time
    for (const wchar_t* bad : {L"16.05.2021", L"2021-02-30", L"", L"2021-05", L"x"})
        EXPECT_THROW(StrToDate(bad), EConvertError) << bad;
}

TEST_F(DateFormats, DaysCountFromTheSystemsDayZero) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_EQ(EncodeDate(2021, 5, 16), 44332.0);
    int y, m, d, h, mi, s, ms;
    DecodeDateTime(EncodeDateTime(2021, 5, 15, 23, 59, 59, 999), y, m, d, h, mi, s, ms);
    EXPECT_EQ((std::vector<int>{y, m, d, h, mi, s, ms}),
              (std::vector<int>{2021, 5, 15, 23, 59, 59, 999}));
}

TEST_F(DateFormats, CompactTimestampKeepsTheRegionalTimeSeparator) {
    const std::wregex plain(LR"(\d{8}(g\d{6})?)");
    EXPECT_TRUE(std::regex_match(CompactTimestamp(), plain)) << CompactTimestamp();
    FormatSettings().TimeSeparator = L'.';
    const std::wregex dotted(LR"(\d{8}(g\d\d\.\d\d\.\d\d)?)");
    EXPECT_TRUE(std::regex_match(CompactTimestamp(), dotted)) << CompactTimestamp();
}

TEST_F(DateFormats, CompactTimestampOfKnownMoments) {
    struct Case {
        TDateTime moment;
        wchar_t separator;
        const wchar_t* text;
    } cases[] = {
        {EncodeDateTime(2025, 3, 1, 9, 5, 7), L':', L"20250301g090507"},
        {EncodeDateTime(2025, 3, 1, 9, 5, 7), L'.', L"20250301g09.05.07"},
        {EncodeDateTime(2024, 1, 15, 13, 45, 2), L':', L"20240115g134502"},
        // Exactly midnight: the date alone; a millisecond later the time is there.
        {EncodeDate(2024, 1, 15), L':', L"20240115"},
        {EncodeDate(2024, 1, 15), L'.', L"20240115"},
        {EncodeDateTime(2024, 1, 15, 0, 0, 0, 1), L':', L"20240115g000000"},
        {EncodeDateTime(2024, 12, 31, 23, 59, 59, 999), L':', L"20241231g235959"},
    };
    for (const Case& c : cases) {
        FormatSettings().TimeSeparator = c.separator;
        EXPECT_EQ(CompactTimestamp(c.moment), c.text);
    }
}

TEST_F(DateFormats, DosPairsAsDateTimes) {
    // 2023-03-14 15:09:26: date (43 << 9) | (3 << 5) | 14, time (15 << 11) | (9 << 5) | 13.
    EXPECT_EQ(DateTimeFromDos(0x566E, 0x792D), EncodeDateTime(2023, 3, 14, 15, 9, 26));
    EXPECT_EQ(DateTimeFromDos(0x0021, 0x0000), EncodeDate(1980, 1, 1));
    EXPECT_EQ(DateTimeFromDos(0xFF9F, 0xBF7D), EncodeDateTime(2107, 12, 31, 23, 59, 58));
    // Pairs that name no moment: month 0, 30 February, 24 o'clock, 62 seconds.
    for (auto [date, time] : {std::pair<std::uint16_t, std::uint16_t>{0x0000, 0x0000},
                              {0x005E, 0x0000},
                              {0x0021, 0xC000},
                              {0x0021, 0x001F}})
        EXPECT_EQ(DateTimeFromDos(date, time), 0.0) << std::hex << date << " " << time;
    TDateTime untouched = 5;
    EXPECT_FALSE(TryEncodeDateTime(2021, 2, 29, 0, 0, 0, 0, untouched));
    EXPECT_FALSE(TryEncodeDateTime(2021, 5, 16, 12, 60, 0, 0, untouched));
    EXPECT_EQ(untouched, 5.0);
    EXPECT_TRUE(TryEncodeDateTime(2020, 2, 29, 12, 0, 0, 0, untouched));
    EXPECT_EQ(untouched, EncodeDate(2020, 2, 29) + 0.5);
}

} // namespace
