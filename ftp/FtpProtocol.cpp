#include "ftp/FtpProtocol.h"

#include <charconv>

#include "util/Utf8.h"

namespace {

bool IsBlank(wchar_t c) {
    return c <= L' ';
}

bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

bool StartsWithCode(const std::wstring& line) {
    return line.size() >= 3 && IsDigit(line[0]) && IsDigit(line[1]) && IsDigit(line[2]);
}

std::wstring Upper(std::wstring s) {
    for (auto& c : s)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    return s;
}

std::wstring FirstWord(const std::wstring& line) {
    std::size_t b = 0;
    while (b < line.size() && IsBlank(line[b]))
        ++b;
    std::size_t e = b;
    while (e < line.size() && line[e] != L' ')
        ++e;
    return line.substr(b, e - b);
}

// A decimal number of at most five digits (blanks around allowed); nullopt otherwise.
std::optional<unsigned> SmallNumber(const std::wstring& text) {
    std::wstring t = FtpTrim(text);
    if (t.empty() || t.size() > 5) return std::nullopt;
    unsigned v = 0;
    for (wchar_t c : t) {
        if (!IsDigit(c)) return std::nullopt;
        v = v * 10 + static_cast<unsigned>(c - L'0');
    }
    return v;
}

std::wstring Widen(const std::string& bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    for (unsigned char c : bytes)
        out += static_cast<wchar_t>(c);
    return out;
}

std::string LowerAscii(std::string s) {
    for (auto& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

} // namespace

std::wstring FtpReply::FormattedText() const {
    std::wstring out;
    for (const auto& line : Text)
        out += line + L"\r\n";
    return out;
}

std::wstring FtpReply::FirstLine() const {
    return Text.empty() ? std::wstring() : Text.front();
}

std::wstring FtpTrim(const std::wstring& text) {
    std::size_t b = 0, e = text.size();
    while (b < e && IsBlank(text[b]))
        ++b;
    while (e > b && IsBlank(text[e - 1]))
        --e;
    return text.substr(b, e - b);
}

FtpReplyAssembler::Result FtpReplyAssembler::Add(const std::wstring& rawLine) {
    std::wstring line = FtpTrim(rawLine);
    if (line.empty()) return Result::NeedMore;
    if (!started_) {
        if (!StartsWithCode(line)) return Result::Invalid;
        started_ = true;
        code_ = line.substr(0, 3);
        reply_ = FtpReply{};
        reply_.Code = std::stoi(code_);
        reply_.Text.push_back(line.size() > 4 ? line.substr(4) : std::wstring());
        if (line.size() > 3 && line[3] == L'-') return Result::NeedMore;
        return Result::Complete;
    }
    bool ownCode =
        line.compare(0, 3, code_) == 0 && (line.size() == 3 || line[3] == L' ' || line[3] == L'-');
    if (!ownCode) {
        reply_.Text.push_back(line);
        return Result::NeedMore;
    }
    reply_.Text.push_back(line.size() > 4 ? line.substr(4) : std::wstring());
    return line.size() == 3 || line[3] == L' ' ? Result::Complete : Result::NeedMore;
}

FtpReply FtpReplyAssembler::Take() {
    FtpReply out = std::move(reply_);
    Reset();
    return out;
}

void FtpReplyAssembler::Reset() {
    started_ = false;
    code_.clear();
    reply_ = FtpReply{};
}

std::string EncodeControl(const std::wstring& text, FtpControlEncoding encoding) {
    if (encoding == FtpControlEncoding::Utf8) return ToUtf8(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text[i];
        if (static_cast<std::uint32_t>(c) < 256) {
            out += static_cast<char>(static_cast<unsigned char>(c));
        } else {
            out += '?';
            // One "?" for a character outside the basic plane, not one per half.
            if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() &&
                text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
                ++i;
        }
    }
    return out;
}

std::wstring DecodeControl(const std::string& bytes, FtpControlEncoding encoding) {
    if (encoding == FtpControlEncoding::Utf8) return FromUtf8(bytes);
    return Widen(bytes);
}

bool HasLineBreak(const std::wstring& argument) {
    return argument.find_first_of(L"\r\n") != std::wstring::npos;
}

std::wstring ShowLineBreaks(const std::wstring& argument) {
    std::wstring out;
    for (wchar_t c : argument) {
        if (c == L'\r')
            out += L"<CR>";
        else if (c == L'\n')
            out += L"<LF>";
        else
            out += c;
    }
    return out;
}

std::optional<FtpHostPort> ParsePasvReply(const std::wstring& firstTextLine) {
    std::wstring t = FtpTrim(firstTextLine);
    std::size_t open = t.find(L'(');
    if (open != std::wstring::npos) {
        t = t.substr(open + 1);
    } else {
        std::size_t blank = t.rfind(L' ');
        if (blank != std::wstring::npos) t = t.substr(blank + 1);
    }
    std::size_t close = t.find(L')');
    if (close != std::wstring::npos) t = t.substr(0, close);

    std::vector<unsigned> n;
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = t.find(L',', start);
        auto v = SmallNumber(
            t.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start));
        if (!v) return std::nullopt;
        n.push_back(*v);
        if (comma == std::wstring::npos) break;
        start = comma + 1;
    }
    if (n.size() != 6) return std::nullopt;
    for (int i = 0; i < 5; ++i)
        if (n[i] > 255) return std::nullopt;
    FtpHostPort out;
    out.Host = std::to_string(n[0]) + "." + std::to_string(n[1]) + "." + std::to_string(n[2]) +
               "." + std::to_string(n[3]);
    out.Port = static_cast<std::uint16_t>(n[4] * 256 + n[5] % 256);
    return out;
}

bool IsPrivateAddress(const std::string& dotted) {
    auto starts = [&dotted](const char* p) { return dotted.rfind(p, 0) == 0; };
    if (starts("127") || starts("10.") || starts("169.254") || starts("192.168")) return true;
    if (starts("172.")) {
        std::size_t dot = dotted.find('.', 4);
        std::string second =
            dotted.substr(4, dot == std::string::npos ? std::string::npos : dot - 4);
        int v = -1;
        auto [p, ec] = std::from_chars(second.data(), second.data() + second.size(), v);
        if (ec == std::errc() && p == second.data() + second.size() && v >= 16 && v <= 31)
            return true;
    }
    return false;
}

std::string ChooseDataHost(const std::string& replyHost, const std::string& controlPeer) {
    if (IsPrivateAddress(replyHost) && !IsPrivateAddress(controlPeer)) return controlPeer;
    return replyHost;
}

std::int64_t ParseSizeReply(const FtpReply& reply) {
    if (reply.Code != 213) return -1;
    std::wstring joined;
    for (std::size_t i = 0; i < reply.Text.size(); ++i) {
        if (i) joined += L"\r\n";
        joined += reply.Text[i];
    }
    std::wstring t = FtpTrim(joined);
    std::size_t blank = t.find(L' ');
    if (blank != std::wstring::npos) t = t.substr(blank + 1);
    if (t.empty()) return -1;
    std::string digits;
    for (wchar_t c : t) {
        if (c > 127) return -1;
        digits += static_cast<char>(c);
    }
    const char* b = digits.data();
    const char* e = b + digits.size();
    if (*b == '+') ++b;
    std::int64_t v = 0;
    auto [p, ec] = std::from_chars(b, e, v);
    if (ec != std::errc() || p != e || b == e) return -1;
    return v;
}

bool FtpSupports(const std::vector<std::wstring>& capabilities, const std::wstring& name) {
    std::wstring want = Upper(name);
    for (const auto& line : capabilities)
        if (Upper(FirstWord(line)) == want) return true;
    return false;
}

bool FtpSiteSupports(const std::vector<std::wstring>& capabilities, const std::wstring& name) {
    std::wstring want = Upper(name);
    for (const auto& line : capabilities) {
        std::wstring t = FtpTrim(line);
        if (Upper(FirstWord(t)) != L"SITE") continue;
        std::wstring facts = t.size() > 4 ? t.substr(4) : std::wstring();
        std::size_t start = 0;
        for (;;) {
            std::size_t semi = facts.find(L';', start);
            std::wstring fact = FtpTrim(facts.substr(
                start, semi == std::wstring::npos ? std::wstring::npos : semi - start));
            if (Upper(fact) == want) return true;
            if (semi == std::wstring::npos) break;
            start = semi + 1;
        }
    }
    return false;
}

std::vector<std::string> SplitListingLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t lf = bytes.find('\n', start);
        std::size_t end = lf == std::string::npos ? bytes.size() : lf;
        std::size_t stop = end;
        if (stop > start && bytes[stop - 1] == '\r') --stop;
        if (stop > start) lines.push_back(bytes.substr(start, stop - start));
        start = end + 1;
    }
    return lines;
}

FtpListItem ParseMlsdLine(const std::string& line) {
    FtpListItem item;
    std::size_t blank = line.find(' ');
    std::string facts = line.substr(0, blank);
    std::string name = blank == std::string::npos ? std::string() : line.substr(blank + 1);

    std::string charset;
    std::size_t start = 0;
    while (start < facts.size()) {
        std::size_t semi = facts.find(';', start);
        std::string fact =
            facts.substr(start, semi == std::string::npos ? std::string::npos : semi - start);
        start = semi == std::string::npos ? facts.size() : semi + 1;
        if (fact.empty()) continue;
        std::size_t eq = fact.find('=');
        std::string key = LowerAscii(fact.substr(0, eq));
        std::string value = eq == std::string::npos ? std::string() : fact.substr(eq + 1);
        std::wstring wvalue = Widen(value);
        item.Facts.emplace_back(Widen(key), wvalue);
        std::string lv = LowerAscii(value);
        if (key == "type") {
            if (lv == "cdir" || lv == "pdir" || lv == "dir")
                item.ItemType = FtpItemType::Directory;
            else if (lv.find("slink") != std::string::npos)
                item.ItemType = FtpItemType::Link;
        } else if (key == "os.unix" || key == "unix.type") {
            if (lv.rfind("slink", 0) == 0)
                item.ItemType = FtpItemType::Link;
            else if (lv.rfind("blk", 0) == 0)
                item.ItemType = FtpItemType::BlockDevice;
            else if (lv.rfind("chr", 0) == 0)
                item.ItemType = FtpItemType::CharDevice;
            else if (lv == "fifo" || lv == "pipe")
                item.ItemType = FtpItemType::Pipe;
            else if (lv.rfind("sock", 0) == 0)
                item.ItemType = FtpItemType::Socket;
        } else if (key == "size" || key == "sizd") {
            std::int64_t v = 0;
            auto [p, ec] = std::from_chars(value.data(), value.data() + value.size(), v);
            // A size is digits only: "-5" is no size, and -1 already means "none given".
            if (ec == std::errc() && p == value.data() + value.size() && v >= 0 && key == "size")
                item.Size = v;
        } else if (key == "modify") {
            item.Modified = wvalue;
        } else if (key == "perm") {
            item.Permissions = wvalue;
        } else if (key == "unique") {
            item.UniqueId = wvalue;
        } else if (key == "charset") {
            charset = lv;
        }
    }
    bool utf8 = charset.empty() || charset == "utf-8" || charset == "utf8";
    bool ok = false;
    if (utf8) {
        std::wstring decoded = FromUtf8(name, &ok);
        if (ok) item.FileName = decoded;
    }
    // Any other charset, or bytes that are no UTF-8: the name byte for byte.
    if (!ok) item.FileName = Widen(name);
    return item;
}
