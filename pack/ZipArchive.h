#pragma once
// The ZIP container as the application note defines it, over byte buffers: writing an
// archive of one deflated entry, and reading an archive's central directory and entries
// (stored and deflated). Needs no platform; file access belongs to the caller.
//
// Reading validates in order: signatures, counts, bounds, names. An archive that passes is
// safe to unpack: every entry's data lies inside the buffer, every name stays inside a
// destination folder. Failures are ZipError with a text that says what is wrong.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "util/Errors.h"

namespace zip {

class ZipError : public Error {
    using Error::Error;
};

// The CRC-32 of the application note (the one of zlib).
std::uint32_t Crc32(std::string_view data);

// What a new entry records besides its data.
struct NewEntry {
    std::wstring name; // stored as UTF-8 with the UTF-8 name flag
    std::uint16_t dosTime = 0;
    std::uint16_t dosDate = 0;
    std::uint32_t externalAttributes = 0; // MS-DOS attributes
};

// A complete archive holding one deflated entry: version made by and needed 20, host
// MS-DOS. Throws ZipError for data or names the format cannot hold without ZIP64.
std::string WriteSingleEntryArchive(const NewEntry& entry, std::string_view data);

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
    // Validates the whole archive; the buffer must outlive the reader.
    explicit Reader(std::string_view archive);

    // The entries in the order of the central directory.
    const std::vector<Entry>& Entries() const { return entries_; }

    // The entry's data, inflated when deflated; its size and CRC-32 are checked against
    // the directory, and the output never grows past the declared size.
    std::string Data(const Entry& entry) const;

private:
    std::string_view archive_;
    std::vector<Entry> entries_;
};

} // namespace zip
