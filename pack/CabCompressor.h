#pragma once
// The compressor: packs files into one Microsoft Cabinet archive with one folder, through
// the platform cabinet library's compression interface (FCI). A run is synchronous on the
// calling thread and reports through the events of its TCabComponent base.

#include <cstdint>
#include <string>

#include "pack/CabComponent.h"

enum TCabCompressionType : std::uint8_t { cctNone, cctMSZIP, cctLZX };
enum TCabLZXLevel : std::uint8_t {
    cllLowest,
    cllLower,
    cllLow,
    cllMedium,
    cllHigh,
    cllHigher,
    cllHighest
};

class TCabCompressor : public TCabComponent {
public:
    TCabCompressor() = default;

    // The cabinet to write.
    std::wstring FileName;
    TCabCompressionType CompressionType = cctMSZIP;
    TCabLZXLevel CompressionLZXLevel = cllHighest;
    std::int64_t CompressedFileSize() const { return compressedFileSize_; }

    // Appends an item; a file at sourceName gives it its size and modification time. An
    // 8-bit source path that the code page cannot turn into UTF-16 names no file.
    void AddFile(const AnsiString& sourceName, const AnsiString& destPath);
    void AddFile(const std::wstring& sourceName, const AnsiString& destPath);
    // Writes FileName from the items: yes when the final flush succeeded, whatever happened
    // to single files (their failures are recorded).
    bool Compress();
    // Reads every item's size again (-1 when no file is there) and sums the sizes >= 0.
    std::int64_t OriginalFileSize() override;
    std::wstring ErrorText(std::uint16_t code) const override;
    // The code handed to the library for the compression settings.
    std::uint16_t CompressionCode() const;

private:
    struct Callbacks;
    void AddItem(const AnsiString& sourceName, const std::wstring& wideName,
                 const AnsiString& destPath);
    std::int64_t compressedFileSize_ = 0;
};
