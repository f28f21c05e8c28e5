// The ZIP container and the stored-name check on their own, over bytes in memory: the
// hostile fixtures of the pack tests read natively, the written archive byte by byte and
// read back with buffers of every size, and hand-built archives for the name forms and an
// entry that inflates past its size.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pack/SafeNames.h"
#include "pack/ZipArchive.h"

namespace {

using namespace std::string_literals;

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
    std::uint8_t host = 0; // high byte of "version made by": 0 MS-DOS, 3 Unix
};

std::string BuildArchive(const std::vector<RawEntry>& entries) {
    std::string out, central;
    for (const RawEntry& e : entries) {
        const auto offset = static_cast<std::uint32_t>(out.size());
        auto header = [&](std::string& to, bool isCentral) {
            Put32(to, isCentral ? 0x02014b50 : 0x04034b50);
            if (isCentral) Put16(to, 20u | (unsigned{e.host} << 8));
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

std::string Write(const zip::NewEntry& entry, const std::string& data,
                  std::size_t chunk = zip::kChunk) {
    zip::MemoryInput source(data);
    zip::StringOutput out;
    zip::WriteSingleEntryArchive(entry, source, out, chunk);
    return out.bytes;
}

std::string Extract(zip::Reader& reader, const zip::Entry& e) {
    zip::StringOutput out;
    reader.Extract(e, out);
    return out.bytes;
}

// Reads every entry's data; the first failure is passed on.
void ReadAll(const std::string& bytes, std::size_t chunk = zip::kChunk) {
    zip::MemoryInput input(bytes);
    zip::Reader reader(input, chunk);
    for (const auto& e : reader.Entries())
        Extract(reader, e);
}

TEST(ZipReader, EveryHostileFixtureIsRefused) {
    for (const char* name :
         {"dotdot_backslash.zip", "dotdot_slash.zip", "dotdot_mixed_separators.zip",
          "absolute_name.zip", "drive_name.zip", "unc_name.zip", "colon_name.zip",
          "trailing_dot.zip", "device_name.zip", "truncated.zip", "bad_signature.zip",
          "crc_mismatch.zip", "lying_size_larger.zip", "lying_size_smaller.zip",
          "local_header_outside.zip", "crc_mismatch_last_of_three.zip"}) {
        const std::string bytes = Fixture(name);
        ASSERT_FALSE(bytes.empty()) << name;
        EXPECT_THROW(ReadAll(bytes), zip::ZipError) << name;
    }
}

TEST(ZipWriter, WritesTheExactHeaderFields) {
    const std::string data = [] {
        std::string d;
        for (int i = 0; i < 40; ++i)
            d += "Zazolc gesla jazn. ";
        return d;
    }();
    // zlib's raw deflate at level 6 of the data, and its CRC-32, as Python's zlib gives them.
    const std::string packed = "\x8b\x4a\xac\xca\xcf\x49\x56\x48\x4f\x2d\xce\x49\x54\xc8\x4a"
                               "\xac\xca\xd3\x53\x88\x1a\x15\x1a\x15\x1a\xee\x42\x00"s;
    ASSERT_EQ(packed.size(), 28u);
    const std::uint32_t crc = 0x5c632b3f;
    const std::string name = "\xC5\x81\xC3\xB3\x64\xC5\xBA.txt"; // "Łódź.txt" in UTF-8

    std::string local, central, end;
    Put32(local, 0x04034b50);
    Put16(local, 20);     // version needed: 2.0
    Put16(local, 0x0800); // UTF-8 name, no data descriptor
    Put16(local, 8);      // deflated
    Put16(local, 0x5B3C); // time
    Put16(local, 0x5596); // date
    Put32(local, crc);
    Put32(local, 28);
    Put32(local, 760);
    Put16(local, static_cast<unsigned>(name.size()));
    Put16(local, 0); // no extra field
    local += name;
    Put32(central, 0x02014b50);
    Put16(central, 20); // made by: MS-DOS, 2.0
    Put16(central, 20);
    Put16(central, 0x0800);
    Put16(central, 8);
    Put16(central, 0x5B3C);
    Put16(central, 0x5596);
    Put32(central, crc);
    Put32(central, 28);
    Put32(central, 760);
    Put16(central, static_cast<unsigned>(name.size()));
    Put16(central, 0); // extra
    Put16(central, 0); // comment
    Put16(central, 0); // disk
    Put16(central, 0); // internal attributes
    Put32(central, 0x21);
    Put32(central, 0); // the local header's offset
    central += name;
    Put32(end, 0x06054b50);
    Put32(end, 0); // disks
    Put16(end, 1);
    Put16(end, 1);
    Put32(end, static_cast<std::uint32_t>(central.size()));
    Put32(end, static_cast<std::uint32_t>(local.size() + packed.size()));
    Put16(end, 0);

    const zip::NewEntry entry{L"Łódź.txt", 0x5B3C, 0x5596, 0x21};
    EXPECT_EQ(Write(entry, data), local + packed + central + end);
    // Any buffer size, however small, writes the same bytes.
    EXPECT_EQ(Write(entry, data, 64), local + packed + central + end);
    EXPECT_THROW(Write({L"", 0, 0, 0}, "x"), zip::ZipError);
}

TEST(ZipReader, ReadsBackTheWrittenArchiveWithBuffersOfAnySize) {
    std::string data;
    for (std::uint32_t i = 0; i < 300000; ++i)
        data.push_back(static_cast<char>((i * 7919) % 251 < 120 ? i % 7 : (i * 31) % 256));
    const zip::NewEntry entry{L"Zażółć gęślą.bin", 0x5B3C, 0x5596, 0x21};
    const std::string archive = Write(entry, data, 4096);
    EXPECT_EQ(archive, Write(entry, data));
    for (std::size_t chunk :
         {std::size_t(64), std::size_t(1000), std::size_t(65536), zip::kChunk}) {
        SCOPED_TRACE(chunk);
        zip::MemoryInput input(archive);
        zip::Reader reader(input, chunk);
        ASSERT_EQ(reader.Entries().size(), 1u);
        const zip::Entry& e = reader.Entries()[0];
        EXPECT_EQ(e.name, entry.name);
        EXPECT_EQ(e.method, 8);
        EXPECT_EQ((std::vector<unsigned>{e.dosTime, e.dosDate, e.externalAttributes}),
                  (std::vector<unsigned>{0x5B3C, 0x5596, 0x21}));
        EXPECT_EQ(Extract(reader, e), data);
    }
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
    zip::MemoryInput input(archive);
    const zip::Reader reader(input);
    ASSERT_EQ(reader.Entries().size(), 5u);
    EXPECT_EQ(reader.Entries()[0].name, L"café");
    EXPECT_EQ(reader.Entries()[1].name, L"kawę");
    EXPECT_EQ(reader.Entries()[2].name, L"café");
    EXPECT_TRUE(reader.Entries()[3].isFolder);
    EXPECT_EQ(reader.Entries()[4].name, L"Ł.txt");

    // A folder that claims data is refused.
    EXPECT_THROW(ReadAll(BuildArchive({Stored("dir/", "x")})), zip::ZipError);
}

TEST(ZipReader, NamesUnderTheUtf8FlagMustBeWellFormed) {
    struct Case {
        const char* what;
        std::string bytes;
    } illFormed[] = {{"overlong", "\xC0\xAF"s},
                     {"overlong of three", "\xE0\x80\xAF"s},
                     {"surrogate", "\xED\xA0\x80"s},
                     {"past U+10FFFF", "\xF4\x90\x80\x80"s},
                     {"five bytes", "\xF8\x88\x80\x80\x80"s},
                     {"cut short", "\xE2\x82"s},
                     {"stray continuation", "\x80"s}};
    for (const Case& c : illFormed) {
        SCOPED_TRACE(c.what);
        EXPECT_THROW(ReadAll(BuildArchive({Stored("a" + c.bytes + "b.txt", "", 0x800)})),
                     zip::ZipError);
        // Without the flag, from a host other than MS-DOS, the same bytes are no UTF-8 and
        // read as code page 437; well-formed ones read as UTF-8.
        RawEntry unix = Stored("a" + c.bytes + "b.txt", "");
        unix.host = 3;
        RawEntry wellFormed = Stored("\xF0\x9F\x98\x80\xC5\x81.txt", "");
        wellFormed.host = 3;
        const std::string archive = BuildArchive({unix, wellFormed});
        zip::MemoryInput input(archive);
        const zip::Reader reader(input);
        ASSERT_EQ(reader.Entries().size(), 2u);
        EXPECT_EQ(reader.Entries()[0].name.size(), c.bytes.size() + 6);
        EXPECT_EQ(reader.Entries()[1].name, L"\U0001F600\u0141.txt");
    }
    // The writer gives a name outside the BMP its four bytes and refuses an unpaired
    // surrogate, which has no UTF-8 form.
    const std::string archive = Write({L"\U0001F600.txt", 0, 0, 0}, "data");
    EXPECT_EQ(archive.substr(30, 8), "\xF0\x9F\x98\x80.txt"s);
    zip::MemoryInput input(archive);
    EXPECT_EQ(zip::Reader(input).Entries()[0].name, L"\U0001F600.txt");
    const wchar_t lone[] = {L'a', wchar_t(0xD800), L'.', L't', L'x', L't', 0};
    EXPECT_THROW(Write({lone, 0, 0, 0}, "data"), zip::ZipError);
}

TEST(ZipReader, DeflatedDataThatDisagreesWithTheDirectoryIsRefused) {
    const std::string big(100000, 'a');
    const std::string archive = Write({L"a.txt", 0, 0, 0}, big);
    zip::MemoryInput honestInput(archive);
    const zip::Reader honest(honestInput);
    const std::string packed = archive.substr(30 + 5, honest.Entries()[0].compressedSize);
    // Longer than declared: refused before more than the declared size has passed, with
    // small buffers as with large ones. Cut short: the stream never ends.
    for (std::size_t chunk : {std::size_t(64), zip::kChunk}) {
        SCOPED_TRACE(chunk);
        const std::string lying =
            BuildArchive({{"a.txt", packed, 0, 8, zip::Crc32(big), 1000, {}}});
        zip::MemoryInput input(lying);
        zip::Reader reader(input, chunk);
        struct Bounded : zip::Output {
            std::size_t written = 0;
            void Write(const char*, std::size_t size) override { written += size; }
        } out;
        EXPECT_THROW(reader.Extract(reader.Entries()[0], out), zip::ZipError);
        EXPECT_LE(out.written, 1000u);
        const std::string cut = BuildArchive(
            {{"a.txt", packed.substr(0, packed.size() / 2), 0, 8, zip::Crc32(big), 100000, {}}});
        EXPECT_THROW(ReadAll(cut, chunk), zip::ZipError);
    }
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
