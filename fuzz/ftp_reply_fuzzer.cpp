// The reply assembler over received control bytes: lines split at LF, decoded in either
// control encoding (the first byte chooses), fed until replies complete; the SIZE reply and
// the capability matching over what they give.

#include <cstddef>
#include <cstdint>
#include <string>

#include "ftp/FtpProtocol.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const auto encoding = data[0] & 1 ? FtpControlEncoding::Utf8 : FtpControlEncoding::EightBit;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    FtpReplyAssembler assembler;
    std::size_t start = 0;
    while (start <= bytes.size()) {
        std::size_t lf = bytes.find('\n', start);
        if (lf == std::string::npos) lf = bytes.size();
        const std::wstring line = DecodeControl(bytes.substr(start, lf - start), encoding);
        start = lf + 1;
        const auto result = assembler.Add(line);
        if (result != FtpReplyAssembler::Result::Complete) continue;
        const FtpReply reply = assembler.Take();
        FUZZ_CHECK(reply.Code >= 0 && reply.Code <= 999);
        FUZZ_CHECK(!reply.Text.empty());
        FUZZ_CHECK(reply.FormattedText().size() >= reply.FirstLine().size() + 2);
        const std::int64_t fileSize = ParseSizeReply(reply);
        FUZZ_CHECK(reply.Code == 213 || fileSize == -1);
        FtpSupports(reply.Text, L"MLSD");
        FtpSiteSupports(reply.Text, L"ZONE");
        // Sending the text back: the encodings take every character the decoder gives.
        EncodeControl(reply.FirstLine(), encoding);
    }
    return 0;
}
