#include "pack/ZipArchive.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "pack/SafeNames.h"
#include "util/Utf8.h"

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

// A name in strict UTF-8: false for bytes that are not well-formed UTF-8 (an overlong form,
// a surrogate, a value past U+10FFFF, a cut or stray byte), which no name may carry.
bool DecodeUtf8(std::string_view bytes, std::wstring& out) {
    bool valid = false;
    out = FromUtf8(bytes, &valid);
    return valid;
}

// The UTF-8 form of a name; a name with an unpaired UTF-16 surrogate has none.
std::string EncodeUtf8(const std::wstring& text) {
    bool valid = false;
    std::string out = ToUtf8(text, &valid);
    if (!valid) Fail(L"nazwa zawiera niesparowany znak zastępczy UTF-16");
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

// Sizes and offsets the format holds without ZIP64: all ones is ZIP64's marker.
constexpr std::uint64_t kLimit32 = 0xFFFFFFFFu;

[[noreturn]] void FailTooBig() {
    Fail(L"plik za duży dla archiwum bez rozszerzenia ZIP64 (4 GiB lub więcej)");
}

// Releases the zlib stream on every path.
struct Deflater {
    z_stream z{};
    Deflater() {
        if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8,
                         Z_DEFAULT_STRATEGY) != Z_OK)
            Fail(L"nie można zainicjować kompresji deflate");
    }
    ~Deflater() { deflateEnd(&z); }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;
};

struct Inflater {
    z_stream z{};
    Inflater() {
        if (inflateInit2(&z, -MAX_WBITS) != Z_OK) Fail(L"nie można zainicjować dekompresji");
    }
    ~Inflater() { inflateEnd(&z); }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
};

// Views of the central directory through one buffer that moves forward with the reading.
class DirectoryWindow {
public:
    DirectoryWindow(Input& in, std::uint64_t end, std::size_t chunk)
        : in_(in), end_(end), chunk_(chunk) {}

    // The bytes [offset, offset + size), which the caller has checked lie before the end;
    // valid until the next call.
    std::string_view View(std::uint64_t offset, std::size_t size) {
        if (offset < start_ || offset + size > start_ + buffer_.size()) {
            const std::size_t want = static_cast<std::size_t>(
                std::min<std::uint64_t>(std::max(chunk_, size), end_ - offset));
            buffer_.resize(want);
            in_.ReadAt(offset, buffer_.data(), want);
            start_ = offset;
        }
        return std::string_view(buffer_).substr(static_cast<std::size_t>(offset - start_), size);
    }

private:
    Input& in_;
    std::uint64_t end_;
    std::size_t chunk_;
    std::string buffer_;
    std::uint64_t start_ = 0;
};

} // namespace

std::uint32_t Crc32(std::string_view data, std::uint32_t crc) {
    uLong value = crc;
    const auto* p = reinterpret_cast<const Bytef*>(data.data());
    std::size_t left = data.size();
    while (left > 0) {
        const uInt n = static_cast<uInt>(std::min<std::size_t>(left, 1u << 30));
        value = crc32(value, p, n);
        p += n;
        left -= n;
    }
    return static_cast<std::uint32_t>(value);
}

void MemoryInput::ReadAt(std::uint64_t offset, char* buffer, std::size_t size) {
    if (offset > bytes_.size() || size > bytes_.size() - offset) Fail(L"odczyt poza plikiem");
    std::memcpy(buffer, bytes_.data() + offset, size);
}

std::size_t MemoryInput::Read(char* buffer, std::size_t size) {
    const std::size_t n = std::min(size, bytes_.size() - read_);
    std::memcpy(buffer, bytes_.data() + read_, n);
    read_ += n;
    return n;
}

void StringOutput::Patch(std::uint64_t offset, const char* data, std::size_t size) {
    if (offset > bytes.size() || size > bytes.size() - offset) Fail(L"zapis poza plikiem");
    std::memcpy(bytes.data() + offset, data, size);
}

void WriteSingleEntryArchive(const NewEntry& entry, Source& data, PatchableOutput& out,
                             std::size_t chunk) {
    const std::string name = EncodeUtf8(entry.name);
    if (name.empty() || name.size() > 0xFFFF) Fail(L"nieprawidłowa długość nazwy pozycji");
    chunk = std::max<std::size_t>(chunk, 64);

    std::uint32_t crc = 0;
    std::uint64_t size = 0, packed = 0;
    auto header = [&](std::string& to, bool central) {
        Put32(to, central ? kCentralSignature : kLocalSignature);
        if (central) Put16(to, kVersion20); // made by: MS-DOS host, version 2.0
        Put16(to, kVersion20);
        Put16(to, kFlagUtf8);
        Put16(to, Z_DEFLATED);
        Put16(to, entry.dosTime);
        Put16(to, entry.dosDate);
        Put32(to, crc);
        Put32(to, static_cast<std::uint32_t>(packed));
        Put32(to, static_cast<std::uint32_t>(size));
        Put16(to, static_cast<std::uint32_t>(name.size()));
        Put16(to, 0); // extra field length
        if (central) {
            Put16(to, 0); // comment length
            Put16(to, 0); // disk number
            Put16(to, 0); // internal attributes
            Put32(to, entry.externalAttributes);
            Put32(to, 0); // offset of the local header
        }
        to += name;
    };
    std::string local;
    header(local, false); // CRC-32 and sizes are filled in once the data has passed
    out.Write(local.data(), local.size());

    Deflater d;
    z_stream& z = d.z;
    std::string in(chunk, '\0'), buffer(chunk, '\0');
    z.next_out = reinterpret_cast<Bytef*>(buffer.data());
    z.avail_out = static_cast<uInt>(chunk);
    // Only whole buffers are written until the last.
    auto flush = [&] {
        const std::size_t n = chunk - z.avail_out;
        packed += n;
        if (local.size() + packed >= kLimit32) FailTooBig();
        out.Write(buffer.data(), n);
        z.next_out = reinterpret_cast<Bytef*>(buffer.data());
        z.avail_out = static_cast<uInt>(chunk);
    };
    for (bool end = false; !end;) {
        const std::size_t n = data.Read(in.data(), chunk);
        end = n == 0;
        size += n;
        if (size >= kLimit32) FailTooBig();
        crc = Crc32(std::string_view(in.data(), n), crc);
        z.next_in = reinterpret_cast<Bytef*>(in.data());
        z.avail_in = static_cast<uInt>(n);
        for (;;) {
            const int rc = deflate(&z, end ? Z_FINISH : Z_NO_FLUSH);
            if (rc == Z_STREAM_ERROR) Fail(L"kompresja deflate nie powiodła się");
            if (z.avail_out == 0) {
                flush();
                continue;
            }
            if (end && rc != Z_STREAM_END) Fail(L"kompresja deflate nie powiodła się");
            break;
        }
    }
    flush();

    std::string filled;
    Put32(filled, crc);
    Put32(filled, static_cast<std::uint32_t>(packed));
    Put32(filled, static_cast<std::uint32_t>(size));
    out.Patch(14, filled.data(), filled.size());

    const std::uint64_t centralStart = local.size() + packed;
    std::string tail;
    header(tail, true);
    const std::size_t centralSize = tail.size();
    Put32(tail, kEndSignature);
    Put16(tail, 0); // this disk
    Put16(tail, 0); // disk of the central directory
    Put16(tail, 1); // entries on this disk
    Put16(tail, 1); // entries in all
    Put32(tail, static_cast<std::uint32_t>(centralSize));
    Put32(tail, static_cast<std::uint32_t>(centralStart));
    Put16(tail, 0); // comment length
    out.Write(tail.data(), tail.size());
}

Reader::Reader(Input& archive, std::size_t chunk)
    : archive_(archive), chunk_(std::max<std::size_t>(chunk, 64)) {
    // Signature: the end record, found from the back, whose comment ends the archive.
    const std::uint64_t size = archive.Size();
    if (size < kEndSize) Fail(L"plik za krótki");
    std::uint64_t end = 0;
    std::uint16_t disk, centralDisk, onDisk, total;
    std::uint32_t centralSize, centralStart;
    {
        std::string tail(static_cast<std::size_t>(std::min<std::uint64_t>(size, kEndSize + 0xFFFF)),
                         '\0');
        const std::uint64_t tailStart = size - tail.size();
        archive.ReadAt(tailStart, tail.data(), tail.size());
        std::size_t found = std::string::npos;
        for (std::size_t at = tail.size() - kEndSize + 1; at-- > 0;) {
            if (U32(tail, at) == kEndSignature &&
                at + kEndSize + U16(tail, at + 20) == tail.size()) {
                found = at;
                break;
            }
        }
        if (found == std::string::npos) Fail(L"brak rekordu końca katalogu (zła sygnatura)");
        end = tailStart + found;
        disk = U16(tail, found + 4);
        centralDisk = U16(tail, found + 6);
        onDisk = U16(tail, found + 8);
        total = U16(tail, found + 10);
        centralSize = U32(tail, found + 12);
        centralStart = U32(tail, found + 16);
    }

    // Counts.
    if (disk != 0 || centralDisk != 0 || onDisk != total)
        Fail(L"archiwa wieloczęściowe nie są obsługiwane");
    if (total == 0xFFFF || centralSize == 0xFFFFFFFFu || centralStart == 0xFFFFFFFFu)
        Fail(L"archiwa ZIP64 nie są obsługiwane");
    if (static_cast<std::uint64_t>(total) * kCentralSize > centralSize)
        Fail(L"liczba pozycji nie mieści się w katalogu");

    // Bounds: the directory lies before the end record; each record inside the directory,
    // each local header and its data before the directory.
    const std::uint64_t centralEnd = static_cast<std::uint64_t>(centralStart) + centralSize;
    if (centralEnd > end) Fail(L"katalog centralny poza plikiem");
    DirectoryWindow central(archive, centralEnd, chunk_);
    std::uint64_t at = centralStart;
    entries_.reserve(total);
    for (std::uint16_t i = 0; i < total; ++i) {
        if (at + kCentralSize > centralEnd) Fail(L"rekord katalogu poza katalogiem");
        const std::string_view record = central.View(at, kCentralSize);
        if (U32(record, 0) != kCentralSignature) Fail(L"zła sygnatura rekordu katalogu");
        Entry e;
        e.hostSystem = static_cast<std::uint8_t>(U16(record, 4) >> 8);
        e.flags = U16(record, 8);
        e.method = U16(record, 10);
        e.dosTime = U16(record, 12);
        e.dosDate = U16(record, 14);
        e.crc32 = U32(record, 16);
        e.compressedSize = U32(record, 20);
        e.uncompressedSize = U32(record, 24);
        const std::size_t nameLength = U16(record, 28);
        const std::size_t extraLength = U16(record, 30);
        const std::size_t commentLength = U16(record, 32);
        e.externalAttributes = U32(record, 38);
        const std::uint32_t localStart = U32(record, 42);
        if (at + kCentralSize + nameLength + extraLength + commentLength > centralEnd)
            Fail(L"nazwa pozycji poza katalogiem");
        const std::string_view nameAndExtra =
            central.View(at + kCentralSize, nameLength + extraLength);
        const std::string_view rawName = nameAndExtra.substr(0, nameLength);
        const std::string_view extra = nameAndExtra.substr(nameLength);
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
        char localHeader[kLocalSize];
        archive.ReadAt(localStart, localHeader, kLocalSize);
        const std::string_view local(localHeader, kLocalSize);
        if (U32(local, 0) != kLocalSignature) Fail(L"zła sygnatura nagłówka lokalnego");
        e.dataOffset =
            static_cast<std::uint64_t>(localStart) + kLocalSize + U16(local, 26) + U16(local, 28);
        if (e.dataOffset + e.compressedSize > centralStart) Fail(L"dane pozycji poza plikiem");

        // Names: decoded, and safe to join to a destination folder.
        if (e.flags & kFlagUtf8) {
            if (!DecodeUtf8(rawName, e.name)) Fail(L"nazwa pozycji nie jest poprawnym UTF-8");
        } else if (!UnicodePathFromExtra(extra, rawName, e.name)) {
            // Archives made on other hosts carry the file system's bytes, UTF-8 nowadays;
            // MS-DOS hosts and bytes that are no UTF-8 mean code page 437.
            if (e.hostSystem == 0 || !DecodeUtf8(rawName, e.name)) e.name = DecodeCp437(rawName);
        }
        e.isFolder = EndsInSeparator(e.name);
        if (!IsSafeStoredName(e.name, true))
            Fail(L"niebezpieczna nazwa pozycji \"" + e.name + L"\"");
        if (e.isFolder && e.uncompressedSize != 0) Fail(L"folder \"" + e.name + L"\" ma dane");
        entries_.push_back(std::move(e));
    }
}

void Reader::Extract(const Entry& e, Output& out) {
    if (in_.empty()) in_.resize(chunk_);
    std::uint64_t offset = e.dataOffset;
    std::uint32_t left = e.compressedSize;
    std::uint32_t crc = 0;
    std::uint64_t produced = 0;
    // The next piece of the packed data into the input buffer; its length.
    auto readNext = [&] {
        const std::size_t n = std::min<std::size_t>(chunk_, left);
        archive_.ReadAt(offset, in_.data(), n);
        offset += n;
        left -= static_cast<std::uint32_t>(n);
        return n;
    };
    if (e.method == 0) {
        while (left > 0) {
            const std::size_t n = readNext();
            crc = Crc32(std::string_view(in_.data(), n), crc);
            out.Write(in_.data(), n);
            produced += n;
        }
    } else {
        if (out_.empty()) out_.resize(chunk_);
        Inflater inflater;
        z_stream& z = inflater.z;
        for (;;) {
            if (z.avail_in == 0 && left > 0) {
                z.avail_in = static_cast<uInt>(readNext());
                z.next_in = reinterpret_cast<Bytef*>(in_.data());
            }
            z.next_out = reinterpret_cast<Bytef*>(out_.data());
            z.avail_out = static_cast<uInt>(chunk_);
            const int rc = inflate(&z, Z_NO_FLUSH);
            const std::size_t got = chunk_ - z.avail_out;
            if (got > 0) {
                if (produced + got > e.uncompressedSize)
                    Fail(L"pozycja \"" + e.name + L"\" ma więcej danych niż podaje");
                crc = Crc32(std::string_view(out_.data(), got), crc);
                out.Write(out_.data(), got);
                produced += got;
            }
            if (rc == Z_STREAM_END) break;
            // No progress with all the packed data given: the stream is cut short.
            if ((rc != Z_OK && rc != Z_BUF_ERROR) || (z.avail_in == 0 && left == 0 && got == 0))
                Fail(L"uszkodzone dane pozycji \"" + e.name + L"\"");
        }
    }
    if (produced != e.uncompressedSize)
        Fail(L"rozmiar pozycji \"" + e.name + L"\" nie zgadza się z katalogiem");
    if (crc != e.crc32) Fail(L"suma CRC-32 pozycji \"" + e.name + L"\" się nie zgadza");
}

} // namespace zip
