#pragma once
// The ZIP container as the application note defines it, streamed through small interfaces:
// writing an archive of one deflated entry, and reading an archive's central directory and
// entries (stored and deflated). Needs no platform; file access belongs to the caller.
// Memory stays within a few buffers of kChunk bytes whatever the size of the data.
//
// Reading validates in order: signatures, counts, bounds, names. An archive that passes is
// safe to unpack: every entry's data lies inside the archive, every name stays inside a
// destination folder. Failures are ZipError with a text that says what is wrong.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "util/Errors.h"

namespace zip {

class ZipError : public Error {
    using Error::Error;
};

// The buffer size of reading and writing: big enough that the work, not the calls, costs.
inline constexpr std::size_t kChunk = 256 * 1024;

// The CRC-32 of the application note (the one of zlib).
std::uint32_t Crc32(std::string_view data, std::uint32_t crc = 0);

// Bytes read in order (the file to pack). Read returns how many it placed, 0 at the end;
// it throws (any type) when it cannot read.
class Source {
public:
    virtual ~Source() = default;
    virtual std::size_t Read(char* buffer, std::size_t size) = 0;
};

// Bytes read at any place (the archive to unpack). ReadAt places all size bytes or throws.
class Input {
public:
    virtual ~Input() = default;
    virtual std::uint64_t Size() const = 0;
    virtual void ReadAt(std::uint64_t offset, char* buffer, std::size_t size) = 0;
};

// Bytes written in order; Write writes all of them or throws.
class Output {
public:
    virtual ~Output() = default;
    virtual void Write(const char* data, std::size_t size) = 0;
};

// An output whose written bytes may be overwritten afterwards (a header filled in last);
// the next Write goes on at the end.
class PatchableOutput : public Output {
public:
    virtual void Patch(std::uint64_t offset, const char* data, std::size_t size) = 0;
};

// Bytes in memory, read as a source or as an input.
class MemoryInput : public Input, public Source {
public:
    explicit MemoryInput(std::string_view bytes) : bytes_(bytes) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    void ReadAt(std::uint64_t offset, char* buffer, std::size_t size) override;
    std::size_t Read(char* buffer, std::size_t size) override;

private:
    std::string_view bytes_;
    std::size_t read_ = 0;
};

// Bytes collected in memory.
class StringOutput : public PatchableOutput {
public:
    void Write(const char* data, std::size_t size) override { bytes.append(data, size); }
    void Patch(std::uint64_t offset, const char* data, std::size_t size) override;
    std::string bytes;
};

// What a new entry records besides its data.
struct NewEntry {
    std::wstring name; // stored as UTF-8 with the UTF-8 name flag
    std::uint16_t dosTime = 0;
    std::uint16_t dosDate = 0;
    std::uint32_t externalAttributes = 0; // MS-DOS attributes
};

// Writes a complete archive holding one entry, deflated at zlib's default level from data
// read in chunks: the local header, the data, then the CRC-32 and sizes filled into the
// header, then the central directory. Versions made by and needed 20, host MS-DOS, no data
// descriptor. Throws ZipError for names the format cannot hold and for data of 4 GiB or
// more (or packed to that), as soon as it gets there.
void WriteSingleEntryArchive(const NewEntry& entry, Source& data, PatchableOutput& out,
                             std::size_t chunk = kChunk);

struct Entry {
    std::wstring name;           // decoded; "/" and "\" kept as stored
    bool isFolder = false;       // the name ends in a separator
    std::uint8_t hostSystem = 0; // high byte of "version made by"; 0 is MS-DOS
    std::uint16_t flags = 0;
    std::uint16_t method = 0; // 0 stored, 8 deflated
    std::uint16_t dosTime = 0;
    std::uint16_t dosDate = 0;
    std::uint32_t crc32 = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t uncompressedSize = 0;
    std::uint32_t externalAttributes = 0;
    std::uint64_t dataOffset = 0; // start of the entry's data in the archive
};

class Reader {
public:
    // Reads and validates the central directory and every local header; the input must
    // outlive the reader. Only the directory is kept in memory.
    explicit Reader(Input& archive, std::size_t chunk = kChunk);

    // The entries in the order of the central directory.
    const std::vector<Entry>& Entries() const { return entries_; }

    // Streams the entry's data, inflated when deflated, to out in chunks. The output never
    // grows past the declared size; a size or CRC-32 that differs from the directory's
    // throws ZipError once the data has passed (out then holds data to be thrown away).
    void Extract(const Entry& entry, Output& out);

private:
    Input& archive_;
    std::size_t chunk_;
    std::vector<Entry> entries_;
    std::string in_, out_; // the data buffers, made at the first Extract
};

} // namespace zip
