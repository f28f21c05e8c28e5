// The ZIP container and the stored-name check on their own, over bytes in memory: the
// hostile fixtures of the pack tests read natively, the written archive read back, and
// hand-built archives for the name forms and an entry that inflates past its size.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "pack/SafeNames.h"
#include "pack/ZipArchive.h"

namespace {

std::string Fixture(const std::string& name) {
    std::ifstream in(std::string(KOREKTA_FIXTURES) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in) << "missing fixture " << name;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Put16(std::string& out, unsigned v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void Put32(std::string& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// One entry of a hand-built archive: the stored bytes as given, sizes as declared.
struct RawEntry {
    std::string name;
    std::string data; // stored as is (method as given)
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint32_t crc = 0;
    std::uint32_t uncompressedSize = 0;
    std::string extra;
};

std::string BuildArchive(const std::vector<RawEntry>& entries) {
    std::string out, central;
    for (const RawEntry& e : entries) {
        const auto offset = static_cast<std::uint32_t>(out.size());
        auto header = [&](std::string& to, bool isCentral) {
            Put32(to, isCentral ? 0x02014b50 : 0x04034b50);
            if (isCentral) Put16(to, 20);
            Put16(to, 20);
            Put16(to, e.flags);
            Put16(to, e.method);
            Put32(to, 0); // time and date
            Put32(to, e.crc);
            Put32(to, static_cast<std::uint32_t>(e.data.size()));
            Put32(to, e.uncompressedSize);
            Put16(to, static_cast<unsigned>(e.name.size()));
            Put16(to, static_cast<unsigned>(e.extra.size()));
            if (isCentral) {
                Put16(to, 0);
                Put16(to, 0);
                Put16(to, 0);
                Put32(to, 0);
                Put32(to, offset);
            }
            to += e.name + e.extra;
        };
        header(out, false);
        out += e.data;
        header(central, true);
    }
    const auto start = static_cast<std::uint32_t>(out.size());
    out += central;
    Put32(out, 0x06054b50);
    Put32(out, 0);
    Put16(out, static_cast<unsigned>(entries.size()));
    Put16(out, static_cast<unsigned>(entries.size()));
    Put32(out, static_cast<std::uint32_t>(central.size()));
    Put32(out, start);
    Put16(out, 0);
    return out;
}

RawEntry Stored(std::string name, std::string data, std::uint16_t flags = 0) {
    RawEntry e{std::move(name),
               data,
               flags,
               0,
               zip::Crc32(data),
               static_cast<std::uint32_t>(data.size()),
               {}};
    return e;
}

// Reads every entry's data; the first failure is passed on.
void ReadAll(const std::string& bytes) {
    const zip::Reader reader(bytes);
    for (const auto& e : reader.Entries())
        reader.Data(e);
}

TEST(ZipReader, EveryHostileFixtureIsRefused) {
    for (const char* name :
         {"dotdot_backslash.zip", "dotdot_slash.zip", "dotdot_mixed_separators.zip",
          "absolute_name.zip", "drive_name.zip", "unc_name.zip", "colon_name.zip",
          "trailing_dot.zip", "device_name.zip", "truncated.zip", "bad_signature.zip",
          "crc_mismatch.zip", "lying_size_larger.zip", "lying_size_smaller.zip",
          "local_header_outside.zip"}) {
        const std::string bytes = Fixture(name);
        ASSERT_FALSE(bytes.empty()) << name;
        EXPECT_THROW(ReadAll(bytes), zip::ZipError) << name;
    }
}

TEST(ZipReader, ReadsBackTheWrittenArchive) {
    std::string data;
    for (int i = 0; i < 70000; ++i)
        data.push_back(static_cast<char>((i * 7919) % 251));
    const zip::NewEntry entry{L"Zażółć gęślą.bin", 0x5B3C, 0x5596, 0x21};
    const std::string archive = zip::WriteSingleEntryArchive(entry, data);
    const zip::Reader reader(archive);
    ASSERT_EQ(reader.Entries().size(), 1u);
    const zip::Entry& e = reader.Entries()[0];
    EXPECT_EQ(e.name, entry.name);
    EXPECT_EQ(e.method, 8);
    EXPECT_EQ((std::vector<unsigned>{e.dosTime, e.dosDate, e.externalAttributes}),
              (std::vector<unsigned>{0x5B3C, 0x5596, 0x21}));
    EXPECT_EQ(reader.Data(e), data);
    EXPECT_THROW(zip::WriteSingleEntryArchive({L"", 0, 0, 0}, "x"), zip::ZipError);
}

TEST(ZipReader, NameFormsAndFolders) {
    // Without the UTF-8 flag a name is code page 437, unless a matching Unicode path field
    // gives it; a field whose CRC belongs to another name is ignored.
    const std::string raw = "caf\x82";
    std::string unicodeField, staleField;
    for (std::string* field : {&unicodeField, &staleField}) {
        const std::string utf8 = field == &unicodeField ? "kaw\xC4\x99" : "stale";
        Put16(*field, 0x7075);
        Put16(*field, static_cast<unsigned>(5 + utf8.size()));
        field->push_back(1);
        Put32(*field, zip::Crc32(field == &unicodeField ? raw : std::string("other")));
        *field += utf8;
    }
    RawEntry withField = Stored(raw, "a");
    withField.extra = unicodeField;
    RawEntry withStale = Stored(raw, "b");
    withStale.extra = staleField;
    const std::string archive =
        BuildArchive({Stored(raw, "c"), withField, withStale, Stored("dir/", ""),
                      Stored("\xC5\x81.txt", "", 0x800)});
    const zip::Reader reader(archive);
    ASSERT_EQ(reader.Entries().size(), 5u);
    EXPECT_EQ(reader.Entries()[0].name, L"café");
    EXPECT_EQ(reader.Entries()[1].name, L"kawę");
    EXPECT_EQ(reader.Entries()[2].name, L"café");
    EXPECT_TRUE(reader.Entries()[3].isFolder);
    EXPECT_EQ(reader.Entries()[4].name, L"Ł.txt");

    // Malformed UTF-8 under the flag, and a folder that claims data, are refused.
    EXPECT_THROW(zip::Reader(BuildArchive({Stored("\xC0\xAF", "", 0x800)})), zip::ZipError);
    EXPECT_THROW(zip::Reader(BuildArchive({Stored("dir/", "x")})), zip::ZipError);
}

TEST(ZipReader, DeflatedDataLongerThanDeclaredIsRefused) {
    const std::string big(100000, 'a');
    const std::string archive = zip::WriteSingleEntryArchive({L"a.txt", 0, 0, 0}, big);
    const zip::Reader honest(archive);
    const std::string packed = archive.substr(30 + 5, honest.Entries()[0].compressedSize);
    RawEntry lying{"a.txt", packed, 0, 8, zip::Crc32(big), 1000, {}};
    const std::string hostile = BuildArchive({lying});
    const zip::Reader reader(hostile);
    EXPECT_THROW(reader.Data(reader.Entries()[0]), zip::ZipError);
}

TEST(SafeStoredName, NamesThatStayInsideTheDestination) {
    struct Case {
        const wchar_t* name;
        bool folderEntry;
        bool safe;
    } cases[] = {
        {L"a.txt", false, true},     {L"sub/a.txt", false, true}, {L"sub\\a.txt", false, true},
        {L"sub/", true, true},       {L"sub/", false, false},     {L"", false, false},
        {L"/", true, false},         {L"../a", false, false},     {L"a\\..\\..\\b", false, false},
        {L"\\a", false, false},      {L"C:a", false, false},      {L"a//b", false, false},
        {L"a.", false, false},       {L"a /b", false, false},     {L"con", false, false},
        {L"Lpt9.log", false, false}, {L"COM10", false, true},     {L"console", false, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsSafeStoredName(c.name, c.folderEntry), c.safe)
            << testing::PrintToString(std::wstring(c.name));
    EXPECT_FALSE(IsSafeStoredName(std::wstring(L"a\0b", 3)));
}

// Every name Windows takes for a device, characters no file name may hold, and names that
// become unsafe once a code page's best fit has turned look-alikes into ASCII.
TEST(SafeStoredName, DevicesForbiddenCharactersAndLookAlikes) {
    const wchar_t* refused[] = {
        L"COM\u00B9",
        L"lpt\u00B2.dll",
        L"sub/Com\u00B3.txt",
        L"COM0",
        L"LPT0.x",
        L"CONIN$",
        L"conout$.log",
        L"NUL .txt",
        L"aux  .tar.gz",
        L"a<b",
        L"a>b",
        L"a\"b",
        L"a|b",
        L"a?b",
        L"a*b",
        L"a\u0001b",
        L"sub\x1F/a",
        L"a\tb",
        L"a:b",
        L"a::$DATA",
        // Best-fit look-alikes of ".", "\\", "/", ":" and the space.
        L"\uFF0E\uFF0E\uFF3Cevil.txt",
        L"\uFF0E\uFF0E/evil.txt",
        L"..\u2215evil.txt",
        L"\u2024\u2024\u2216evil.txt",
        L"\uFF0E\uFF0E\uFF0Fevil.txt",
        L"C\uFF1Aevil.txt",
        L"C\u2236evil.txt",
        L"C\u0589evil.txt",
        L"a\u3000",
        L"a\u2002/b",
        L"evil\uFF0E",
        L"\uFF3C\uFF3Cserver\uFF3Cshare",
        // Devices once normalised.
        L"\uFF2E\uFF35\uFF2C.txt",
        L"\u216DON.txt",
        L"COM\u2074",
        L"LPT\u2081.x",
        L"nul\u3000.txt",
        L"AUX\uFF0Etxt",
    };
    for (const wchar_t* name : refused)
        EXPECT_FALSE(IsSafeStoredName(name)) << testing::PrintToString(std::wstring(name));
    const wchar_t* accepted[] = {
        L"COM\u00B9x",   L"COM\u00B91",  L"\uFF58.exe", L"Za\u017C\u00F3\u0142\u0107.txt",
        L"a\u00A0b.txt", L"\uFF0Ea.txt", L"CONIN",      L"CONOUT$x",
        L"LPT",          L"nul_.txt",    L"a\u2024b",   L"x\u00B2.dat",
    };
    for (const wchar_t* name : accepted)
        EXPECT_TRUE(IsSafeStoredName(name)) << testing::PrintToString(std::wstring(name));
    EXPECT_FALSE(IsSafeStoredName(L"sub\uFF0F", true)) << "a look-alike makes no folder entry";
}

} // namespace
