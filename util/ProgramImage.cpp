#include "util/ProgramImage.h"

#include <array>
#include <cstring>
#include <vector>

namespace {

// Offsets in the PE/COFF format, from the start of the structure named.
constexpr std::uint64_t kDosHeaderSize = 0x40;
constexpr std::uint64_t kLfanewAt = 0x3C;     // DOS header: offset of the PE signature
constexpr std::uint64_t kFileHeaderSize = 20; // COFF file header after "PE\0\0"
constexpr std::uint64_t kMachineAt = 0;       // COFF file header fields
constexpr std::uint64_t kSectionCountAt = 2;
constexpr std::uint64_t kOptionalSizeAt = 16;
constexpr std::uint64_t kSectionHeaderSize = 40; // one entry of the section table
constexpr std::uint64_t kRawSizeAt = 16;         // section header fields
constexpr std::uint64_t kRawPointerAt = 20;
constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;

std::uint16_t U16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t U32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::wstring Hex(std::uint64_t value, int digits) {
    static const wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring text;
    do {
        text.insert(text.begin(), kDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0 || static_cast<int>(text.size()) < digits);
    return L"0x" + text;
}

// A section's name as the table holds it: up to 8 bytes, NUL-padded; bytes outside printable
// ASCII shown as "?".
std::wstring SectionName(const unsigned char* p) {
    std::wstring name;
    for (int i = 0; i < 8 && p[i] != 0; ++i)
        name.push_back(p[i] >= 0x20 && p[i] < 0x7F ? static_cast<wchar_t>(p[i]) : L'?');
    return name;
}

// "1 bajt", "3 bajty", "5 bajtów", "22 bajty", "112 bajtów".
std::wstring Bytes(std::uint64_t n) {
    const std::uint64_t last = n % 10, lastTwo = n % 100;
    const wchar_t* word = n == 1                                                     ? L" bajt"
                          : last >= 2 && last <= 4 && (lastTwo < 12 || lastTwo > 14) ? L" bajty"
                                                                                     : L" bajtów";
    return std::to_wstring(n) + word;
}

ProgramImage Refused(std::wstring problem) {
    ProgramImage image;
    image.problem = std::move(problem);
    return image;
}

} // namespace

ProgramImage CheckProgramImage(std::uint64_t size, const ImageReader& read) {
    const std::wstring fileHas = L"plik ma " + Bytes(size);
    std::array<unsigned char, kDosHeaderSize> dos{};
    if (size < 2) return Refused(L"brak nagłówka „MZ” (" + fileHas + L")");
    read(0, 2, dos.data());
    if (dos[0] != 'M' || dos[1] != 'Z') return Refused(L"brak nagłówka „MZ” na początku pliku");
    if (size < kDosHeaderSize) return Refused(L"nagłówek „MZ” jest niepełny (" + fileHas + L")");
    read(0, kDosHeaderSize, dos.data());

    const std::uint64_t pe = U32(dos.data() + kLfanewAt);
    const std::uint64_t fileHeader = pe + 4;
    if (fileHeader + kFileHeaderSize > size)
        return Refused(L"nagłówek PE (pod adresem " + Hex(pe, 0) + L") leży poza plikiem (" +
                       fileHas + L")");
    std::array<unsigned char, 4 + kFileHeaderSize> header{};
    read(pe, header.size(), header.data());
    if (std::memcmp(header.data(), "PE\0\0", 4) != 0)
        return Refused(L"brak sygnatury „PE” pod adresem " + Hex(pe, 0));
    const unsigned char* coff = header.data() + 4;
    const std::uint16_t machine = U16(coff + kMachineAt);
    const std::uint64_t sections = U16(coff + kSectionCountAt);
    const std::uint64_t optionalSize = U16(coff + kOptionalSizeAt);

    const std::uint64_t optional = fileHeader + kFileHeaderSize;
    if (optionalSize < 2) return Refused(L"brak nagłówka opcjonalnego");
    if (optional + optionalSize > size)
        return Refused(L"nagłówek opcjonalny wykracza poza plik (" + fileHas + L")");
    unsigned char magicBytes[2];
    read(optional, 2, magicBytes);
    const std::uint16_t magic = U16(magicBytes);
    if (magic != kMagicPe32 && magic != kMagicPe32Plus)
        return Refused(L"nieznany rodzaj nagłówka opcjonalnego (" + Hex(magic, 4) + L")");

    if (sections == 0) return Refused(L"plik nie ma żadnej sekcji");
    const std::uint64_t table = optional + optionalSize;
    if (table + sections * kSectionHeaderSize > size)
        return Refused(L"tabela sekcji (liczba sekcji: " + std::to_wstring(sections) +
                       L") wykracza poza plik (" + fileHas + L")");
    std::vector<unsigned char> entries(static_cast<std::size_t>(sections * kSectionHeaderSize));
    read(table, entries.size(), entries.data());
    for (std::uint64_t i = 0; i < sections; ++i) {
        const unsigned char* entry = entries.data() + i * kSectionHeaderSize;
        const std::uint64_t rawSize = U32(entry + kRawSizeAt);
        const std::uint64_t rawPointer = U32(entry + kRawPointerAt);
        // A section without raw data (uninitialised data) occupies nothing in the file.
        if (rawSize == 0) continue;
        if (rawPointer + rawSize > size)
            return Refused(L"dane sekcji nr " + std::to_wstring(i + 1) + L" „" +
                           SectionName(entry) + L"” kończą się na bajcie " +
                           std::to_wstring(rawPointer + rawSize) + L", a " + fileHas +
                           L" (plik jest niepełny)");
    }
    ProgramImage image;
    image.valid = true;
    image.machine = machine;
    return image;
}

ProgramImage CheckProgramImage(std::string_view bytes) {
    return CheckProgramImage(bytes.size(),
                             [bytes](std::uint64_t offset, std::size_t count, unsigned char* out) {
                                 std::memcpy(out, bytes.data() + offset, count);
                             });
}

std::wstring MachineName(std::uint16_t machine) {
    switch (machine) {
    case kMachineI386:
        return L"x86";
    case kMachineAmd64:
        return L"x64";
    case kMachineArm64:
        return L"ARM64";
    case 0x01C4:
        return L"ARM";
    case 0x0200:
        return L"IA-64";
    default:
        return L"nieznanego typu (" + Hex(machine, 4) + L")";
    }
}
