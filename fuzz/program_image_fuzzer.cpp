// The program-image check over any bytes: it never reads outside the file it was given,
// never reads more than the headers and the section table, and what it accepts starts with
// "MZ" and has "PE\0\0" where the DOS header points.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "fuzz/FuzzSupport.h"
#include "util/ProgramImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::uint64_t bytesRead = 0;
    const ProgramImage image =
        CheckProgramImage(size, [&](std::uint64_t offset, std::size_t count, unsigned char* out) {
            FUZZ_CHECK(offset <= size && count <= size - offset);
            bytesRead += count;
            std::memcpy(out, data + offset, count);
        });
    // DOS header, PE header, magic, and at most 65535 section headers of 40 bytes, each
    // read once (the first two bytes twice).
    FUZZ_CHECK(bytesRead <= 2 + 64 + 24 + 2 + 65535u * 40);
    if (image.valid) {
        FUZZ_CHECK(image.problem.empty());
        FUZZ_CHECK(size >= 64 && data[0] == 'M' && data[1] == 'Z');
        const std::uint32_t pe = data[0x3C] | (data[0x3D] << 8) | (data[0x3E] << 16) |
                                 (static_cast<std::uint32_t>(data[0x3F]) << 24);
        FUZZ_CHECK(pe + std::uint64_t{24} <= size && std::memcmp(data + pe, "PE\0\0", 4) == 0);
    } else {
        FUZZ_CHECK(!image.problem.empty());
    }
    return 0;
}
