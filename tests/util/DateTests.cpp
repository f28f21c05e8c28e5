#include <gtest/gtest.h>

#include <regex>

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
    // The formatting itself, at a known moment.
    FormatSettings().TimeSeparator = L':';
    const TDateTime t = EncodeDateTime(2025, 3, 1, 9, 5, 7);
    EXPECT_EQ(ReplaceChar(RemoveChar(RemoveChar(DateTimeToStr(t), L'-'), L':'), L' ', L'g'),
              L"20250301g090507");
}

} // namespace
