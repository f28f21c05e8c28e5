#include "pack/ZipArchive.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

#include "pack/SafeNames.h"

namespace zip {

namespace {

constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::size_t kLocalSize = 30;
constexpr std::size_t kCentralSize = 46;
constexpr std::size_t kEndSize = 22;
constexpr std::uint16_t kFlagEncrypted = 0x0001;
constexpr std::uint16_t kFlagUtf8 = 0x0800;
constexpr std::uint16_t kUnicodePathField = 0x7075;
constexpr std::uint16_t kVersion20 = 20;

std::uint16_t U16(std::string_view b, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                      (static_cast<unsigned char>(b[at + 1]) << 8));
}

std::uint32_t U32(std::string_view b, std::size_t at) {
    return static_cast<std::uint32_t>(U16(b, at)) |
           (static_cast<std::uint32_t>(U16(b, at + 2)) << 16);
}

void Put16(std::string& out, std::uint32_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void Put32(std::string& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

[[noreturn]] void Fail(const std::wstring& what) {
    throw ZipError(L"Archiwum ZIP: " + what);
}

void AppendCodePoint(std::wstring& out, std::uint32_t cp) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
            return;
        }
    }
    out.push_back(static_cast<wchar_t>(cp));
}

// Strict UTF-8: false for overlong forms, surrogates and values past U+10FFFF.
bool DecodeUtf8(std::string_view bytes, std::wstring& out) {
    out.clear();
    for (std::size_t i = 0; i < bytes.size();) {
        const unsigned char lead = static_cast<unsigned char>(bytes[i]);
        int extra = lead < 0x80         ? 0
                    : (lead >> 5) == 6  ? 1
                    : (lead >> 4) == 14 ? 2
                    : (lead >> 3) == 30 ? 3
                                        : -1;
        if (extra < 0 || i + static_cast<std::size_t>(extra) >= bytes.size()) return false;
        std::uint32_t cp = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            const unsigned char c = static_cast<unsigned char>(bytes[i + k]);
            if ((c & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        static constexpr std::uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        AppendCodePoint(out, cp);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return true;
}

std::string EncodeUtf8(const std::wstring& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t cp = static_cast<std::uint32_t>(text[i]);
        if (sizeof(wchar_t) == 2 && cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() &&
            text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<std::uint32_t>(text[++i]) - 0xDC00);
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            Fail(L"nazwa zawiera niesparowany znak zastępczy UTF-16");
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

// Names without the UTF-8 flag are in code page 437, the format's original one.
std::wstring DecodeCp437(std::string_view bytes) {
    static constexpr wchar_t kHigh[] =
        L"ÇüéâäàåçêëèïîìÄÅÉæÆôöòûùÿÖÜ¢£¥₧ƒáíóúñÑªº¿⌐¬½¼¡«»░▒▓│┤╡╢╖╕╣║╗╝╜╛┐"
        L"└┴┬├─┼╞╟╚╔╩╦╠═╬╧╨╤╥╙╘╒╓╫╪┘┌█▄▌▐▀αßΓπΣσµτΦΘΩδ∞φε∩≡±≥≤⌠⌡÷≈°∙·√ⁿ²■\u00A0";
    static_assert(sizeof kHigh / sizeof kHigh[0] == 129, "128 characters");
    std::wstring out;
    for (char c : bytes) {
        const unsigned char b = static_cast<unsigned char>(c);
        out.push_back(b < 0x80 ? static_cast<wchar_t>(b) : kHigh[b - 0x80]);
    }
    return out;
}

// The Info-ZIP Unicode path field, when it is present and belongs to this raw name.
bool UnicodePathFromExtra(std::string_view extra, std::string_view rawName, std::wstring& out) {
    for (std::size_t at = 0; at + 4 <= extra.size();) {
        const std::uint16_t id = U16(extra, at);
        const std::uint16_t size = U16(extra, at + 2);
        if (at + 4 + size > extra.size()) return false;
        if (id == kUnicodePathField && size >= 5 && extra[at + 4] == 1 &&
            U32(extra, at + 5) == Crc32(rawName))
            return DecodeUtf8(extra.substr(at + 9, size - 5), out);
        at += 4 + size;
    }
    return false;
}

bool EndsInSeparator(const std::wstring& name) {
    return !name.empty() && (name.back() == L'/' || name.back() == L'\\');
}

} // namespace

std::uint32_t Crc32(std::string_view data) {
    uLong crc = crc32(0L, Z_NULL, 0);
    const auto* p = reinterpret_cast<const Bytef*>(data.data());
    std::size_t left = data.size();
    while (left > 0) {
        const uInt n = static_cast<uInt>(std::min<std::size_t>(left, 1u << 30));
        crc = crc32(crc, p, n);
        p += n;
        left -= n;
    }
    return static_cast<std::uint32_t>(crc);
}

std::string WriteSingleEntryArchive(const NewEntry& entry, std::string_view data) {
    const std::string name = EncodeUtf8(entry.name);
    if (name.empty() || name.size() > 0xFFFF) Fail(L"nieprawidłowa długość nazwy pozycji");
    if (data.size() >= 0xFFFFFFFFu) Fail(L"plik za duży dla archiwum bez rozszerzenia ZIP64");

    z_stream z{};
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK)
        Fail(L"nie można zainicjować kompresji deflate");
    std::string packed(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(packed.data());
    z.avail_out = static_cast<uInt>(packed.size());
    const int rc = deflate(&z, Z_FINISH);
    packed.resize(z.total_out);
    deflateEnd(&z);
    if (rc != Z_STREAM_END) Fail(L"kompresja deflate nie powiodła się");
    if (packed.size() >= 0xFFFFFFFFu) Fail(L"plik za duży dla archiwum bez rozszerzenia ZIP64");

    const std::uint32_t crc = Crc32(data);
    auto header = [&](std::string& out, bool central) {
        Put32(out, central ? kCentralSignature : kLocalSignature);
        if (central) Put16(out, kVersion20); // made by: MS-DOS host, version 2.0
        Put16(out, kVersion20);
        Put16(out, kFlagUtf8);
        Put16(out, Z_DEFLATED);
        Put16(out, entry.dosTime);
        Put16(out, entry.dosDate);
        Put32(out, crc);
        Put32(out, static_cast<std::uint32_t>(packed.size()));
        Put32(out, static_cast<std::uint32_t>(data.size()));
        Put16(out, static_cast<std::uint32_t>(name.size()));
        Put16(out, 0); // extra field length
        if (central) {
            Put16(out, 0); // comment length
            Put16(out, 0); // disk number
            Put16(out, 0); // internal attributes
            Put32(out, entry.externalAttributes);
            Put32(out, 0); // offset of the local header
        }
        out += name;
    };
    std::string out;
    out.reserve(kLocalSize + kCentralSize + kEndSize + 2 * name.size() + packed.size());
    header(out, false);
    out += packed;
    const std::size_t centralStart = out.size();
    if (centralStart >= 0xFFFFFFFFu) Fail(L"plik za duży dla archiwum bez rozszerzenia ZIP64");
    header(out, true);
    const std::size_t centralSize = out.size() - centralStart;
    Put32(out, kEndSignature);
    Put16(out, 0); // this disk
    Put16(out, 0); // disk of the central directory
    Put16(out, 1); // entries on this disk
    Put16(out, 1); // entries in all
    Put32(out, static_cast<std::uint32_t>(centralSize));
    Put32(out, static_cast<std::uint32_t>(centralStart));
    Put16(out, 0); // comment length
    return out;
}

Reader::Reader(std::string_view archive) : archive_(archive) {
    // Signature: the end record, found from the back, whose comment ends the archive.
    if (archive.size() < kEndSize) Fail(L"plik za krótki");
    std::size_t end = std::string_view::npos;
    const std::size_t lowest =
        archive.size() > kEndSize + 0xFFFF ? archive.size() - kEndSize - 0xFFFF : 0;
    for (std::size_t at = archive.size() - kEndSize + 1; at-- > lowest;) {
        if (U32(archive, at) == kEndSignature &&
            at + kEndSize + U16(archive, at + 20) == archive.size()) {
            end = at;
            break;
        }
    }
    if (end == std::string_view::npos) Fail(L"brak rekordu końca katalogu (zła sygnatura)");

    // Counts.
    const std::uint16_t disk = U16(archive, end + 4);
    const std::uint16_t centralDisk = U16(archive, end + 6);
    const std::uint16_t onDisk = U16(archive, end + 8);
    const std::uint16_t total = U16(archive, end + 10);
    const std::uint32_t centralSize = U32(archive, end + 12);
    const std::uint32_t centralStart = U32(archive, end + 16);
    if (disk != 0 || centralDisk != 0 || onDisk != total)
        Fail(L"archiwa wieloczęściowe nie są obsługiwane");
    if (total == 0xFFFF || centralSize == 0xFFFFFFFFu || centralStart == 0xFFFFFFFFu)
        Fail(L"archiwa ZIP64 nie są obsługiwane");
    if (static_cast<std::uint64_t>(total) * kCentralSize > centralSize)
        Fail(L"liczba pozycji nie mieści się w katalogu");

    // Bounds: the directory lies before the end record; each record inside the directory,
    // each local header and its data before the directory.
    if (static_cast<std::uint64_t>(centralStart) + centralSize > end)
        Fail(L"katalog centralny poza plikiem");
    const std::string_view central = archive.substr(centralStart, centralSize);
    std::vector<std::string_view> rawNames, extras;
    std::size_t at = 0;
    for (std::uint16_t i = 0; i < total; ++i) {
        if (at + kCentralSize > central.size()) Fail(L"rekord katalogu poza katalogiem");
        if (U32(central, at) != kCentralSignature) Fail(L"zła sygnatura rekordu katalogu");
        Entry e;
        e.hostSystem = static_cast<std::uint8_t>(U16(central, at + 4) >> 8);
        e.flags = U16(central, at + 8);
        e.method = U16(central, at + 10);
        e.dosTime = U16(central, at + 12);
        e.dosDate = U16(central, at + 14);
        e.crc32 = U32(central, at + 16);
        e.compressedSize = U32(central, at + 20);
        e.uncompressedSize = U32(central, at + 24);
        const std::size_t nameLength = U16(central, at + 28);
        const std::size_t extraLength = U16(central, at + 30);
        const std::size_t commentLength = U16(central, at + 32);
        e.externalAttributes = U32(central, at + 38);
        const std::uint32_t localStart = U32(central, at + 42);
        if (at + kCentralSize + nameLength + extraLength + commentLength > central.size())
            Fail(L"nazwa pozycji poza katalogiem");
        rawNames.push_back(central.substr(at + kCentralSize, nameLength));
        extras.push_back(central.substr(at + kCentralSize + nameLength, extraLength));
        at += kCentralSize + nameLength + extraLength + commentLength;

        if (e.compressedSize == 0xFFFFFFFFu || e.uncompressedSize == 0xFFFFFFFFu ||
            localStart == 0xFFFFFFFFu)
            Fail(L"archiwa ZIP64 nie są obsługiwane");
        if (e.flags & kFlagEncrypted) Fail(L"zaszyfrowane pozycje nie są obsługiwane");
        if (e.method != 0 && e.method != Z_DEFLATED)
            Fail(L"nieobsługiwana metoda kompresji " + std::to_wstring(e.method));
        if (e.method == 0 && e.compressedSize != e.uncompressedSize)
            Fail(L"rozmiary pozycji bez kompresji się różnią");
        if (static_cast<std::uint64_t>(localStart) + kLocalSize > centralStart)
            Fail(L"nagłówek lokalny poza plikiem");
        if (U32(archive, localStart) != kLocalSignature) Fail(L"zła sygnatura nagłówka lokalnego");
        e.dataOffset = static_cast<std::uint64_t>(localStart) + kLocalSize +
                       U16(archive, localStart + 26) + U16(archive, localStart + 28);
        if (e.dataOffset + e.compressedSize > centralStart) Fail(L"dane pozycji poza plikiem");
        entries_.push_back(std::move(e));
    }

    // Names: decoded, and safe to join to a destination folder.
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        Entry& e = entries_[i];
        if (e.flags & kFlagUtf8) {
            if (!DecodeUtf8(rawNames[i], e.name)) Fail(L"nazwa pozycji nie jest poprawnym UTF-8");
        } else if (!UnicodePathFromExtra(extras[i], rawNames[i], e.name)) {
            // Archives made on other hosts carry the file system's bytes, UTF-8 nowadays;
            // MS-DOS hosts and bytes that are no UTF-8 mean code page 437.
            if (e.hostSystem == 0 || !DecodeUtf8(rawNames[i], e.name))
                e.name = DecodeCp437(rawNames[i]);
        }
        e.isFolder = EndsInSeparator(e.name);
        if (!IsSafeStoredName(e.name, true))
            Fail(L"niebezpieczna nazwa pozycji \"" + e.name + L"\"");
        if (e.isFolder && e.uncompressedSize != 0) Fail(L"folder \"" + e.name + L"\" ma dane");
    }
}

std::string Reader::Data(const Entry& e) const {
    const std::string_view packed = archive_.substr(e.dataOffset, e.compressedSize);
    std::string out;
    if (e.method == 0) {
        out.assign(packed);
    } else {
        z_stream z{};
        if (inflateInit2(&z, -MAX_WBITS) != Z_OK) Fail(L"nie można zainicjować dekompresji");
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
        z.avail_in = static_cast<uInt>(packed.size());
        int rc = Z_OK;
        // Grows with the data actually produced, one byte past the declared size at most.
        const std::uint64_t limit = static_cast<std::uint64_t>(e.uncompressedSize) + 1;
        while (rc == Z_OK) {
            const std::size_t have = out.size();
            if (have >= limit) break;
            const std::size_t chunk =
                static_cast<std::size_t>(std::min<std::uint64_t>(limit - have, 1u << 16));
            out.resize(have + chunk);
            z.next_out = reinterpret_cast<Bytef*>(out.data() + have);
            z.avail_out = static_cast<uInt>(chunk);
            rc = inflate(&z, Z_NO_FLUSH);
            out.resize(have + (chunk - z.avail_out));
            if (rc == Z_BUF_ERROR && z.avail_in == 0) break;
        }
        inflateEnd(&z);
        if (out.size() > e.uncompressedSize)
            Fail(L"pozycja \"" + e.name + L"\" ma więcej danych niż podaje");
        if (rc != Z_STREAM_END) Fail(L"uszkodzone dane pozycji \"" + e.name + L"\"");
    }
    if (out.size() != e.uncompressedSize)
        Fail(L"rozmiar pozycji \"" + e.name + L"\" nie zgadza się z katalogiem");
    if (Crc32(out) != e.crc32) Fail(L"suma CRC-32 pozycji \"" + e.name + L"\" się nie zgadza");
    return out;
}

} // namespace zip
