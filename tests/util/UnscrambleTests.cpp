#include <gtest/gtest.h>

#include "deploy/Scrambler.h"
#include "util/pres.h"

namespace {

// Scrambles a plain text at run time (the deployment does it at compile time).
ShortString Scrambled(const std::u8string& plain, const char* key) {
    deploy::ScrambledText t = deploy::ScrambleText(plain.data(), plain.size(), key);
    EXPECT_EQ(t.status, deploy::ScrambleStatus::Ok) << "position " << t.position;
    return ShortString(t.View());
}

std::wstring Unscrambled(const ShortString& s, const char* key, bool marks = true) {
    return FromShort(UnscrambleText(s, key, marks));
}

// The body byte that gives the plain byte b with key byte k (case c >= v).
char Body(unsigned char b, unsigned char k) {
    return static_cast<char>(b + 16 + (k - 31));
}

TEST(UnscrambleText, BodyBytesFollowTheKeyAndThenX) {
    // "abcdefgh" with key "123456": seven and eight use the key byte "X".
    const char* key = "123456";
    ShortString s;
    const std::string plain = "abcdefgh";
    for (std::size_t i = 0; i < plain.size(); ++i)
        s.push_back(Body(static_cast<unsigned char>(plain[i]),
                         i < 6 ? static_cast<unsigned char>(key[i]) : 'X'));
    EXPECT_EQ(Unscrambled(s, key), L"abcdefgh");
    // The c < v branch: c = 5, v = 18 gives 5 - 18 + 96 = "S", lower-cased.
    EXPECT_EQ(UnscrambleText(ShortString(1, static_cast<char>(47 + 5)), "1", false), "s");
}

TEST(UnscrambleText, LowerCaseKeyLettersCountAsUpperCase) {
    const ShortString s = "\x90\xA1\xB2\xC3";
    EXPECT_EQ(UnscrambleText(s, "abcd", false), UnscrambleText(s, "ABCD", false));
    EXPECT_EQ(UnscrambleText(s, "", false), ""); // an empty key gives nothing
}

TEST(UnscrambleText, MarksPutInCapitalsPolishLettersAndZiet) {
    struct Case {
        std::u8string plain;
        const char* key;
    };
    const Case cases[] = {
        {u8"127.0.0.1", "318452"},
        {u8"Tavrin-Demo7", "907316"},
        {u8"ŁódźĄŻ", "123456"}, // upper-case Polish letters and ź
        {u8"Źle", "123456"},    // Ź: the ź mark and the capital mark
        {u8"ftp.example.pl", "555555"},
        {u8"zażółć", "000000"},
        {u8"", "123456"},
        {u8"a!b#c$d", "123456"}, // marker characters in the plain text
        {u8"ÓSEMKA", "314159"},
    };
    for (const auto& c : cases) {
        const ShortString s = Scrambled(c.plain, c.key);
        EXPECT_EQ(Unscrambled(s, c.key), FromUtf8(std::string(c.plain.begin(), c.plain.end())))
            << std::string(c.plain.begin(), c.plain.end());
    }
}

TEST(UnscrambleText, WithoutMarksTheResultIsLowerCaseAndMarkersAreBodyBytes) {
    const ShortString s = Scrambled(u8"ABC", "123456"); // body + "!123"
    EXPECT_EQ(s.substr(3), "!123");
    const std::wstring raw = Unscrambled(s, "123456", false);
    EXPECT_EQ(raw.substr(0, 3), L"abc");
    EXPECT_EQ(raw.size(), s.size());
    // Without "!" nothing is raised or made Polish.
    EXPECT_EQ(Unscrambled(s.substr(0, 3), "123456"), L"abc");
}

TEST(UnscrambleText, MarksPastTheEndAndOnTheSamePosition) {
    const ShortString body = Scrambled(u8"ab", "123456");
    // ź at position 7 of a two-byte result is appended.
    EXPECT_EQ(Unscrambled(body + "!#$7", "123456"), L"abź");
    // A capital or Polish mark past the end has no letter to change.
    EXPECT_EQ(Unscrambled(body + "!5#6", "123456"), L"ab");
    // The same position in the Polish and the capital group: a capital Polish letter.
    EXPECT_EQ(Unscrambled(body + "!1#1", "123456"), L"Ąb");
    // Text after a second marker of the same kind is dropped.
    EXPECT_EQ(Unscrambled(body + "!1!2", "123456"), L"Ab");
}

TEST(UnscrambleText, AMarkThatIsNoIntegerRaisesAConversionFailure) {
    const ShortString body = Scrambled(u8"ab", "123456");
    EXPECT_THROW(UnscrambleText(body + "!+", "123456", true), EConvertError);
    EXPECT_EQ(Unscrambled(body + "!x", "123456"), L"ab"); // not numeric: position 0, no letter
}

TEST(Scrambler, RefusesWhatTheFormCannotCarry) {
    struct Case {
        std::u8string plain;
        deploy::ScrambleStatus status;
        std::size_t position;
    };
    const Case cases[] = {
        {u8"abcdefghiJ", deploy::ScrambleStatus::MarkPastNinth, 10},
        {u8"abcdefghią", deploy::ScrambleStatus::MarkPastNinth, 10},
        {u8"日本", deploy::ScrambleStatus::NotInCodePage, 1},
        {u8"a\tb", deploy::ScrambleStatus::ControlCharacter, 2},
        {std::u8string(256, u8'a'), deploy::ScrambleStatus::TooLong, 256},
        {u8"abcdefgé", deploy::ScrambleStatus::NotCarried, 8},
    };
    for (const auto& c : cases) {
        auto t = deploy::ScrambleText(c.plain.data(), c.plain.size(), "123456");
        EXPECT_EQ(t.status, c.status) << std::string(c.plain.begin(), c.plain.end());
        EXPECT_EQ(t.position, c.position);
    }
    // Bytes that are no UTF-8, by the codec's rule: a cut sequence, an overlong "@" (once
    // taken for "@" by the scrambler alone), a surrogate.
    const struct {
        std::string bytes;
        std::size_t position;
    } bad[] = {{"\xC3", 1}, {"a\xE0\x81\x80", 2}, {"ab\xED\xA0\x80", 3}};
    for (const auto& c : bad) {
        auto t = deploy::ScrambleText(reinterpret_cast<const char8_t*>(c.bytes.data()),
                                      c.bytes.size(), "123456");
        EXPECT_EQ(t.status, deploy::ScrambleStatus::InvalidUtf8) << c.position;
        EXPECT_EQ(t.position, c.position);
    }
}

TEST(UnscrambleDigits, GroupsOfThreeDigits) {
    EXPECT_EQ(UnscrambleDigits(L"066067"), L"AB");
    EXPECT_EQ(UnscrambleDigits(L"0660671"), L"AB"); // seven digits: the last is ignored
    EXPECT_EQ(UnscrambleDigits(L"000abc"), std::wstring(2, L'\xFFFF'));
    EXPECT_EQ(UnscrambleDigits(L""), L"");
}

TEST(GetField, FieldsBySeparator) {
    EXPECT_EQ(GetField(L"ab!cd", 0, L'!'), L"ab");
    EXPECT_EQ(GetField(L"ab!cd", 1, L'!'), L"cd");
    EXPECT_EQ(GetField(L"ab!", 1, L'!'), L"");
    EXPECT_EQ(GetField(L"ab", 0, L'!'), L"ab");
    EXPECT_EQ(GetField(L"ab", 1, L'!'), L"");
    EXPECT_EQ(GetField(L"   ", 0, L'!'), L"");
    EXPECT_EQ(GetField(L"a!!c", 2, L'!'), L"c");
}

TEST(ToIntOrZero, NumbersZeroAndConversionFailures) {
    struct Case {
        const wchar_t* text;
        int value;
    };
    const Case cases[] = {{L"7", 7}, {L" 42 ", 42}, {L"-3", -3}, {L"+5", 5},
                          {L"x", 0}, {L"", 0},      {L"1a", 0},  {L"2147483647", 2147483647}};
    for (const auto& c : cases)
        EXPECT_EQ(ToIntOrZero(c.text), c.value) << c.text;
    for (const wchar_t* bad : {L"+", L"1.5", L"1,5", L"-", L"--1", L"2147483648"}) {
        try {
            ToIntOrZero(bad);
            ADD_FAILURE() << "no failure for " << ToUtf8(bad);
        } catch (const EConvertError& e) {
            EXPECT_NE(e.Message().find(bad), std::wstring::npos) << e.what();
        }
    }
    EXPECT_TRUE(IsNumeric(L"+,-."));
    EXPECT_FALSE(IsNumeric(L""));
    EXPECT_FALSE(IsNumeric(L" 1"));
}

TEST(ToPolishLetters, SixteenLettersAndNothingElse) {
    EXPECT_EQ(ToPolishLetters("ACELNOSZ aceln osz xZ"), L"ĄĆĘŁŃÓŚŻ ąćęłń óśż xŻ");
}

} // namespace
