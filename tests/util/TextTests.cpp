#include <gtest/gtest.h>

#include "util/TextFile.h"
#include "util/Utf8.h"
#include "util/pres.h"

namespace {

struct TextCase {
    const wchar_t* input;
    const wchar_t* expected;
};

TEST(TrimSpaces, OnlyTheSpaceCharacterAndNeverBelowOneCharacter) {
    const TextCase cases[] = {
        {L"", L""},     {L"  ab ", L"ab"},  {L"   ", L" "},
        {L" ", L" "},   {L"\tab", L"\tab"}, {L"a b", L"a b"},
        {L"x  ", L"x"}, {L"  x", L"x"},     {L"ab\r\n", L"ab\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TrimSpaces(c.input), c.expected) << c.input;
}

TEST(ReplaceAll, SearchesAgainFromTheStartAfterEveryReplacement) {
    EXPECT_EQ(ReplaceAll(L"//Upgrade/x", L"//", L"c:\\"), L"c:\\Upgrade/x");
    EXPECT_EQ(ReplaceAll(L"abb", L"ab", L"a"), L"a");
    EXPECT_EQ(ReplaceAll(L"c:\\a\\b", L"\\", L"/"), L"c:/a/b");
    EXPECT_EQ(ReplaceAll(L"abc", L"", L"x"), L"abc");
    EXPECT_EQ(ReplaceAll(L"abc", L"z", L"x"), L"abc");
}

TEST(CharHelpers, ReplaceAndRemove) {
    EXPECT_EQ(ReplaceChar(L"2024-01-15 13:45", L' ', L'g'), L"2024-01-15g13:45");
    EXPECT_EQ(RemoveChar(L"2024-01-15", L'-'), L"20240115");
    EXPECT_EQ(RemoveChar(L"---", L'-'), L"");
}

TEST(WithBackslash, TrimsCutsAndAppends) {
    const TextCase cases[] = {
        {L"C:\\Temp", L"C:\\Temp\\"},
        {L"C:\\Temp\\", L"C:\\Temp\\"},
        {L"", L"\\"},
        {L"   ", L" \\"},
        {L"  C:\\x  ", L"C:\\x\\"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WithBackslash(ToShort(c.input)), c.expected);
    // 255 characters without a trailing backslash stay without one.
    std::wstring full(255, L'a');
    EXPECT_EQ(WithBackslash(ToShort(full)), full);
    EXPECT_EQ(WithBackslash(ToShort(std::wstring(254, L'a'))), std::wstring(254, L'a') + L"\\");
}

TEST(FolderWithBackslash, KeepsEveryCharacterAtAnyLength) {
    const TextCase cases[] = {
        {L"C:\\Temp", L"C:\\Temp\\"},
        {L"C:\\Temp\\", L"C:\\Temp\\"},
        {L"", L"\\"},
        {L"  C:\\x  ", L"C:\\x\\"},
        // Letters no single code page holds together.
        {L"C:\\Users\\Дмитро\\Προσωρινά", L"C:\\Users\\Дмитро\\Προσωρινά\\"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FolderWithBackslash(c.input), c.expected);
    const std::wstring deep = L"C:\\" + std::wstring(300, L'ж');
    EXPECT_EQ(FolderWithBackslash(deep), deep + L"\\");
}

TEST(PathParts, SplitAtTheLastBackslashOrColon) {
    EXPECT_EQ(ExtractFileName(L"c:\\x\\Prog.exe"), L"Prog.exe");
    EXPECT_EQ(ExtractFileName(L"c:Prog.exe"), L"Prog.exe");
    EXPECT_EQ(ExtractFilePath(L"c:\\x\\Prog.exe"), L"c:\\x\\");
    EXPECT_EQ(ExtractFilePath(L"Prog.exe"), L"");
    EXPECT_EQ(ExtractFileExt(L"c:\\x.1\\Prog"), L"");
    EXPECT_EQ(ExtractFileExt(L"c:\\x\\Prog.tar.gz"), L".gz");
    EXPECT_EQ(ChangeFileExt(L"c:\\x\\Prog.exe", L".esa"), L"c:\\x\\Prog.esa");
    EXPECT_EQ(ChangeFileExt(L"c:\\x.1\\Prog", L".esa"), L"c:\\x.1\\Prog.esa");
}

TEST(ShortText, CodePage1250WithQuestionMarksAndTheLimit) {
    EXPECT_EQ(ToShort(L"Zażółć gęślą jaźń"), "Za\xBF\xF3\xB3\xE6 g\xEA\x9C\x6C\xB9 ja\x9F\xF1");
    EXPECT_EQ(FromShort("\xA5\xC6\xCA\xA3\xD1\xD3\x8C\x8F\xAF"), L"ĄĆĘŁŃÓŚŹŻ");
    EXPECT_EQ(ToShort(L"日本 ü"), "?? \xFC");
    EXPECT_EQ(ToShort(std::wstring(300, L'x')).size(), 255u);
    EXPECT_EQ(FromShort(std::string(300, 'x')).size(), 255u);
    EXPECT_EQ(AnsiUpperByte(0xB9), 0xA5); // ą -> Ą
    EXPECT_EQ(AnsiLowerByte(0x8F), 0x9F); // Ź -> ź
    EXPECT_EQ(AnsiUpperByte(0xDF), 0xDF); // ß has no capital
}

TEST(Utf8, RoundTripAndInvalidBytes) {
    const std::wstring text = L"Łódź €\U0001F600";
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
    bool ok = true;
    EXPECT_EQ(FromUtf8("a\xC3(b", &ok), L"a\xFFFD(b");
    EXPECT_FALSE(ok);
    FromUtf8("\xC5\x81\xC3\xB3", &ok);
    EXPECT_TRUE(ok);
}

// One substitute for each maximal ill-formed start of a sequence, whatever made it bad.
TEST(Utf8, EachMaximalBadSequenceBecomesOneSubstitute) {
    const std::wstring r(1, L'\xFFFD');
    struct Case {
        const char* name;
        std::string bytes;
        std::wstring text;
        bool valid;
    } cases[] = {
        {"empty", "", L"", true},
        {"two and four bytes", "\xC5\x81\xF0\x9F\x98\x80", L"\u0141\U0001F600", true},
        {"cut three-byte sequence before a letter",
         "\xE2\x82"
         "A",
         r + L"A", false},
        {"cut four-byte sequence at the end", "x\xF0\x9F\x98", L"x" + r, false},
        {"stray continuation byte",
         "\x80"
         "a",
         r + L"a", false},
        {"byte that never starts one", "\xFF\xFE", r + r, false},
        {"overlong slash", "\xC0\xAF", r + r, false},
        {"overlong three bytes", "\xE0\x80\x80", r + r + r, false},
        {"surrogate", "\xED\xA0\x80", r + r + r, false},
        {"past U+10FFFF", "\xF4\x90\x80\x80", r + r + r + r, false},
        {"last code point", "\xF4\x8F\xBF\xBF", L"\U0010FFFF", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bool valid = !c.valid;
        EXPECT_EQ(FromUtf8(c.bytes, &valid), c.text);
        EXPECT_EQ(valid, c.valid);
        EXPECT_EQ(IsUtf8(c.bytes), c.valid);
    }
}

TEST(Utf8, AnUnpairedSurrogateIsEncodedAsTheSubstitute) {
    bool valid = true;
    EXPECT_EQ(ToUtf8(std::wstring{L'a', static_cast<wchar_t>(0xD800), L'b'}, &valid),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_FALSE(valid);
    EXPECT_EQ(ToUtf8(L"\u00F3\U0001F600", &valid), "\xC3\xB3\xF0\x9F\x98\x80");
    EXPECT_TRUE(valid);
}

TEST(RepeatChar, CountsAndTheLimit) {
    EXPECT_EQ(RepeatChar(L'x', 3), L"xxx");
    EXPECT_EQ(RepeatChar(L'x', 0), L"");
    EXPECT_EQ(RepeatChar(L'x', -1), L"");
    EXPECT_EQ(RepeatChar(L'x', 300).size(), 255u);
    EXPECT_EQ(RepeatChar(L'日', 2), L"??");
}

TEST(IsBlank, SpacesOrNulsUpTo255Characters) {
    struct Case {
        std::wstring text;
        bool blank;
    };
    const Case cases[] = {
        {L"", true},
        {L" ", true},
        {std::wstring(255, L' '), true},
        {std::wstring(256, L' '), false},
        {L"\t", false},
        {std::wstring(3, L'\0'), true},
        {std::wstring(L" \0", 2), false},
        {L" a ", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsBlank(c.text), c.blank) << c.text.size();
}

TEST(SplitFields, FieldsAndTheIndexOfTheLast) {
    struct Case {
        const wchar_t* text;
        int count;
        std::vector<std::wstring> fields;
    };
    const Case cases[] = {
        {L"a..b", 2, {L"a", L"", L"b"}}, {L"a.b.", 1, {L"a", L"b"}},        {L"", -1, {}},
        {L"abc", 0, {L"abc"}},           {L"a.b\r\n", 1, {L"a", L"b\r\n"}}, {L"a.\r\n", 0, {L"a"}},
        {L"a.   ", 0, {L"a"}},
    };
    for (const auto& c : cases) {
        SplitFieldArray fields;
        fields[5] = L"stale";
        int count = 99;
        SplitFields(c.text, L'.', fields, count);
        EXPECT_EQ(count, c.count) << c.text;
        for (std::size_t i = 0; i < c.fields.size(); ++i)
            EXPECT_EQ(fields[i], c.fields[i]);
        for (std::size_t i = c.fields.size(); i < fields.size(); ++i)
            ASSERT_EQ(fields[i], L"");
    }
}

TEST(SplitFields, MoreSeparatorsThanFieldsStayInsideTheArray) {
    SplitFieldArray fields;
    int count = 0;
    SplitFields(std::wstring(1000, L'.') + L"x", L'.', fields, count);
    EXPECT_EQ(count, kSplitFieldCount - 1);
}

TEST(NormalizeDate, DayMonthYearBecomesYearMonthDay) {
    EXPECT_EQ(NormalizeDate(L"2021-05-16"), L"2021-05-16");
    EXPECT_EQ(NormalizeDate(L"16.05.2021"), L"2021-05-16");
    EXPECT_EQ(NormalizeDate(L"16.05"), L"-05-16");
    EXPECT_EQ(NormalizeDate(L"1.2.3.4"), L"3-2-1");
}

TEST(TextFile, TheMarkChoosesTheDecoding) {
    struct Case {
        const char* name;
        std::string bytes;
        std::wstring text;
    } cases[] = {
        {"UTF-8 with its mark",
         "\xEF\xBB\xBF\xC5\x81\xC3\xB3"
         "d\xC5\xBA",
         L"Łódź"},
        {"UTF-8 mark alone", "\xEF\xBB\xBF", L""},
        {"UTF-16 little endian", std::string("\xFF\xFE\x41\x01\x0D\x00\x62\x00", 8), L"Ł\rb"},
        {"UTF-16 big endian", std::string("\xFE\xFF\x01\x41\x00\x62", 6), L"Łb"},
        {"UTF-16 with an odd last byte", std::string("\xFF\xFE\x61\x00\x62", 5), L"a"},
        {"code page 1250", "\xA3\xF3\x64\x9F", L"Łódź"},
        {"nothing", "", L""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecodeTextFile(c.bytes), c.text) << c.name;
}

TEST(TextFile, EveryLineBreakEndsALineAndTheLastAddsNone) {
    using Lines = std::vector<std::wstring>;
    struct Case {
        const wchar_t* text;
        Lines lines;
    } cases[] = {
        {L"", {}},
        {L"a", {L"a"}},
        {L"a\r\nb\r\n", {L"a", L"b"}},
        {L"a\nb", {L"a", L"b"}},
        {L"a\rb\r", {L"a", L"b"}},
        {L"a\r\n\r\nb", {L"a", L"", L"b"}},
        {L"\n\n", {L"", L""}},
        {L"a\n\rb", {L"a", L"", L"b"}},
        {L" x \t", {L" x \t"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SplitLines(c.text), c.lines) << testing::PrintToString(ToUtf8(c.text));
}

} // namespace
