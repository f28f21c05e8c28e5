// The ZIP reader over an archive in memory: it validates or refuses with ZipError, and
// every entry it accepts has a name safe to join to a folder and data that reads back with
// its declared size or fails with ZipError.

#include <cstddef>
#include <cstdint>
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
    return 0;
}
