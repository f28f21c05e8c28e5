// The MLSD listing: the data connection's bytes split into lines, each line parsed.

#include <cstddef>
#include <cstdint>
#include <string>

#include "ftp/FtpProtocol.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    for (const std::string& line : SplitListingLines(bytes)) {
        FUZZ_CHECK(!line.empty() && line.find('\n') == std::string::npos);
        const FtpListItem item = ParseMlsdLine(line);
        FUZZ_CHECK(item.Size >= -1);
        FUZZ_CHECK(item.FileName.size() <= line.size());
    }
    return 0;
}
