// The ZIP reader over an archive in memory: it validates or refuses with ZipError, and
// every entry it accepts has a name safe to join to a folder and data that streams out with
// its declared size or fails with ZipError, never growing past that size. The buffers are
// small and of a size the input chooses, so that every chunk boundary is met. The same
// bytes as an entry's data: the written archive reads back to them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzSupport.h"
#include "pack/SafeNames.h"
#include "pack/ZipArchive.h"

namespace {

// Counts what passes and keeps none of it.
struct Counter : zip::Output {
    std::uint64_t written = 0;
    void Write(const char*, std::size_t size) override { written += size; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view archive(reinterpret_cast<const char*>(data), size);
    const std::size_t chunk = 64 + size % 193;
    try {
        zip::MemoryInput input(archive);
        zip::Reader reader(input, chunk);
        for (const zip::Entry& e : reader.Entries()) {
            FUZZ_CHECK(IsSafeStoredName(e.name, true));
            FUZZ_CHECK(e.dataOffset + e.compressedSize <= size);
            Counter out;
            try {
                reader.Extract(e, out);
                FUZZ_CHECK(out.written == e.uncompressedSize);
            } catch (const zip::ZipError&) {
                FUZZ_CHECK(out.written <= e.uncompressedSize);
            }
        }
    } catch (const zip::ZipError&) {
    }

    // One input in eight: deflating each would leave the reader little of the time.
    if (size % 8 != 0) return 0;
    zip::MemoryInput source(archive);
    zip::StringOutput written;
    zip::WriteSingleEntryArchive({L"dane.bin", 0, 0, 0}, source, written, chunk);
    zip::MemoryInput input(written.bytes);
    zip::Reader reader(input, chunk);
    FUZZ_CHECK(reader.Entries().size() == 1);
    zip::StringOutput back;
    reader.Extract(reader.Entries()[0], back);
    FUZZ_CHECK(back.bytes == archive);
    return 0;
}
