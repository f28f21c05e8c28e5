// The program-image check over headers laid out as a linker writes them, and over the
// ways a fetched file can fail to be a program: another kind of file, a cut file, headers
// that point outside the file.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "util/ProgramImage.h"
#include "util/pres.h"

namespace {

void Put16(std::string& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>(v >> 8);
}

void Put32(std::string& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Where the builder puts things.
constexpr std::size_t kPe = 0x80;
constexpr std::size_t kCoff = kPe + 4;
constexpr std::size_t kOptional = kCoff + 20;

struct Section {
    std::string name;
    std::uint32_t rawSize;
};

// An image as a linker lays it out: the DOS header pointing at "PE\0\0" at 0x80, the file
// header, an optional header of the magic's usual size, the section table, the headers
// padded to 0x200 and each section's raw data after them in turn.
std::string MakeImage(std::uint16_t machine = kMachineAmd64, std::uint16_t magic = 0x20B,
                      const std::vector<Section>& sections = {{".text", 0x400}, {".data", 0x200}}) {
    const std::uint16_t optionalSize = magic == 0x10B ? 224 : 240;
    std::string b(0x200, '\0');
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 0x3C, kPe);
    std::memcpy(&b[kPe], "PE\0\0", 4);
    Put16(b, kCoff, machine);
    Put16(b, kCoff + 2, static_cast<std::uint16_t>(sections.size()));
    Put16(b, kCoff + 16, optionalSize);
    Put16(b, kOptional, magic);
    std::size_t entry = kOptional + optionalSize;
    std::uint32_t raw = 0x200;
    for (const Section& s : sections) {
        std::memcpy(&b[entry], s.name.data(), std::min<std::size_t>(s.name.size(), 8));
        Put32(b, entry + 16, s.rawSize);
        Put32(b, entry + 20, s.rawSize ? raw : 0);
        raw += s.rawSize;
        entry += 40;
    }
    b.resize(raw, '\x90');
    return b;
}

std::string Changed(std::string b, const std::function<void(std::string&)>& change) {
    change(b);
    return b;
}

TEST(ProgramImage, ACompleteImageIsValidWithItsMachine) {
    struct Case {
        const char* name;
        std::string bytes;
        std::uint16_t machine;
    };
    const Case cases[] = {
        {"PE32+ for x64", MakeImage(), kMachineAmd64},
        {"PE32 for x86", MakeImage(kMachineI386, 0x10B), kMachineI386},
        {"ARM64", MakeImage(kMachineArm64), kMachineArm64},
        // Data after the sections (an installer's payload, a signature) belongs to no section.
        {"with data after its sections", MakeImage() + std::string(100000, 'x'), kMachineAmd64},
        // Uninitialised data has no raw data, whatever its pointer says.
        {"a section without raw data",
         Changed(MakeImage(kMachineAmd64, 0x20B, {{".text", 0x200}, {".bss", 0}}),
                 [](std::string& b) { Put32(b, kOptional + 240 + 40 + 20, 0xFFFFFFF0); }),
         kMachineAmd64},
    };
    for (const Case& c : cases) {
        const ProgramImage image = CheckProgramImage(c.bytes);
        EXPECT_TRUE(image.valid) << c.name << ": " << ToUtf8(image.problem);
        EXPECT_EQ(image.machine, c.machine) << c.name;
        EXPECT_TRUE(image.problem.empty()) << c.name;
    }
}

TEST(ProgramImage, WhatIsNotACompleteImageIsNamed) {
    const std::string good = MakeImage();
    struct Case {
        const char* name;
        std::string bytes;
        std::wstring problem;
    };
    const Case cases[] = {
        {"an HTML error page", "<html><body><h1>404 Not Found</h1></body></html>\r\n",
         L"brak nagłówka „MZ” na początku pliku"},
        {"an empty file", "", L"brak nagłówka „MZ” (plik ma 0 bajtów)"},
        {"one byte", "M", L"brak nagłówka „MZ” (plik ma 1 bajt)"},
        {"MZ alone", "MZ", L"nagłówek „MZ” jest niepełny (plik ma 2 bajty)"},
        {"a cut DOS header", good.substr(0, 0x3F),
         L"nagłówek „MZ” jest niepełny (plik ma 63 bajty)"},
        {"a PE header beyond the end", good.substr(0, kPe + 20),
         L"nagłówek PE (pod adresem 0x80) leży poza plikiem (plik ma 148 bajtów)"},
        {"a PE offset near 4 GiB",
         Changed(good, [](std::string& b) { Put32(b, 0x3C, 0xFFFFFFF0); }),
         L"nagłówek PE (pod adresem 0xFFFFFFF0) leży poza plikiem (plik ma 2048 bajtów)"},
        {"no PE signature", Changed(good, [](std::string& b) { b[kPe + 1] = 'X'; }),
         L"brak sygnatury „PE” pod adresem 0x80"},
        {"no optional header", Changed(good, [](std::string& b) { Put16(b, kCoff + 16, 0); }),
         L"brak nagłówka opcjonalnego"},
        {"an optional header beyond the end",
         Changed(good, [](std::string& b) { Put16(b, kCoff + 16, 0xFFFF); }),
         L"nagłówek opcjonalny wykracza poza plik (plik ma 2048 bajtów)"},
        {"a ROM image's optional header",
         Changed(good, [](std::string& b) { Put16(b, kOptional, 0x107); }),
         L"nieznany rodzaj nagłówka opcjonalnego (0x0107)"},
        {"no sections", Changed(good, [](std::string& b) { Put16(b, kCoff + 2, 0); }),
         L"plik nie ma żadnej sekcji"},
        {"a section table beyond the end",
         Changed(good, [](std::string& b) { Put16(b, kCoff + 2, 0xFFFF); }),
         L"tabela sekcji (liczba sekcji: 65535) wykracza poza plik (plik ma 2048 bajtów)"},
        {"a build cut in its last section", good.substr(0, good.size() - 1),
         L"dane sekcji nr 2 „.data” kończą się na bajcie 2048, a plik ma 2047 bajtów (plik jest "
         L"niepełny)"},
        {"a section whose data lies near 4 GiB",
         Changed(good,
                 [](std::string& b) {
                     Put32(b, kOptional + 240 + 16, 0xFFFFFFFF);
                     Put32(b, kOptional + 240 + 20, 0xFFFFFFFF);
                 }),
         L"dane sekcji nr 1 „.text” kończą się na bajcie 8589934590, a plik ma 2048 bajtów "
         L"(plik jest niepełny)"},
        {"a section name of raw bytes",
         Changed(good.substr(0, good.size() - 1),
                 [](std::string& b) {
                     std::memcpy(&b[kOptional + 240 + 40],
                                 "\x01\xFF"
                                 "ab\0\0\0\0",
                                 8);
                 }),
         L"dane sekcji nr 2 „??ab” kończą się na bajcie 2048, a plik ma 2047 bajtów (plik jest "
         L"niepełny)"},
    };
    for (const Case& c : cases) {
        const ProgramImage image = CheckProgramImage(c.bytes);
        EXPECT_FALSE(image.valid) << c.name;
        EXPECT_EQ(image.problem, c.problem) << c.name << ": " << ToUtf8(image.problem);
    }
}

// Only the headers and the section table are read, each read inside the file: a large
// image costs a few hundred bytes of reading.
TEST(ProgramImage, ReadsOnlyTheHeadersInsideTheFile) {
    const std::string image =
        MakeImage(kMachineAmd64, 0x20B, {{".text", 8 << 20}, {".rdata", 1 << 20}, {".bss", 0}});
    std::uint64_t bytesRead = 0;
    bool outside = false;
    const ProgramImage result = CheckProgramImage(
        image.size(), [&](std::uint64_t offset, std::size_t count, unsigned char* out) {
            outside = outside || offset + count > image.size();
            bytesRead += count;
            std::memcpy(out, image.data() + offset, count);
        });
    EXPECT_TRUE(result.valid);
    EXPECT_FALSE(outside);
    EXPECT_LT(bytesRead, 512u);
    // Even a table that claims the most sections stays inside a file that holds it.
    bytesRead = 0;
    const std::string many =
        Changed(MakeImage(), [](std::string& b) { Put16(b, kCoff + 2, 0xFFFF); });
    const ProgramImage refused = CheckProgramImage(
        many.size(), [&](std::uint64_t offset, std::size_t count, unsigned char* out) {
            outside = outside || offset + count > many.size();
            bytesRead += count;
            std::memcpy(out, many.data() + offset, count);
        });
    EXPECT_FALSE(refused.valid);
    EXPECT_FALSE(outside);
    EXPECT_LT(bytesRead, 128u);
}

TEST(ProgramImage, MachineNames) {
    EXPECT_EQ(MachineName(kMachineI386), L"x86");
    EXPECT_EQ(MachineName(kMachineAmd64), L"x64");
    EXPECT_EQ(MachineName(kMachineArm64), L"ARM64");
    EXPECT_EQ(MachineName(0x01C2), L"nieznanego typu (0x01C2)");
}

} // namespace
