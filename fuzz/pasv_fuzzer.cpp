// The PASV reply's address and port, and the choice of the data connection's host: the
// first line is the 227 reply's text, the second the control connection's peer.

#include <cstddef>
#include <cstdint>
#include <string>

#include "ftp/FtpProtocol.h"
#include "fuzz/FuzzSupport.h"

namespace {

// Four decimal numbers 0 to 255 separated by dots, without leading zeros.
bool IsDottedQuad(const std::string& s) {
    int parts = 0;
    std::size_t at = 0;
    while (at <= s.size()) {
        std::size_t dot = s.find('.', at);
        if (dot == std::string::npos) dot = s.size();
        const std::string part = s.substr(at, dot - at);
        if (part.empty() || part.size() > 3 || (part.size() > 1 && part[0] == '0')) return false;
        for (char c : part)
            if (c < '0' || c > '9') return false;
        if (std::stoi(part) > 255) return false;
        ++parts;
        at = dot + 1;
    }
    return parts == 4;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t lf = bytes.find('\n');
    const std::string line = bytes.substr(0, lf);
    const std::string peer = lf == std::string::npos ? std::string() : bytes.substr(lf + 1);

    for (auto encoding : {FtpControlEncoding::EightBit, FtpControlEncoding::Utf8}) {
        const auto hostPort = ParsePasvReply(DecodeControl(line, encoding));
        if (!hostPort) continue;
        FUZZ_CHECK(IsDottedQuad(hostPort->Host));
        const std::string chosen = ChooseDataHost(hostPort->Host, peer);
        FUZZ_CHECK(chosen == hostPort->Host || chosen == peer);
        // The peer is taken only for a private reply address behind a public peer.
        if (chosen != hostPort->Host)
            FUZZ_CHECK(IsPrivateAddress(hostPort->Host) && !IsPrivateAddress(peer));
    }
    IsPrivateAddress(line);
    IsPrivateAddress(peer);
    return 0;
}
