// The ZIP reader over an archive in memory: it validates or refuses with ZipError, and
// every entry it accepts has a name safe to join to a folder and data that reads back with
// its declared size or fails with ZipError. The same bytes as an entry's data: the written
// archive reads back to them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzSupport.h"
#include "pack/SafeNames.h"
#include "pack/ZipArchive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view archive(reinterpret_cast<const char*>(data), size);
    try {
        const zip::Reader reader(archive);
        for (const zip::Entry& e : reader.Entries()) {
            FUZZ_CHECK(IsSafeStoredName(e.name, true));
            FUZZ_CHECK(e.dataOffset + e.compressedSize <= size);
            try {
                FUZZ_CHECK(reader.Data(e).size() == e.uncompressedSize);
            } catch (const zip::ZipError&) {
            }
        }
    } catch (const zip::ZipError&) {
    }

    // One input in eight: deflating each would leave the reader little of the time.
    if (size % 8 != 0) return 0;
    const std::string written = zip::WriteSingleEntryArchive({L"dane.bin", 0, 0, 0}, archive);
    const zip::Reader reader(written);
    FUZZ_CHECK(reader.Entries().size() == 1);
    FUZZ_CHECK(reader.Data(reader.Entries()[0]) == archive);
    return 0;
}
