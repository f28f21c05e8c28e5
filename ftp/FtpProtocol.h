#pragma once
// The platform-free pieces of the FTP client: reply assembly (the line protocol, which
// knows no FTP verb), the control encoding, the argument check, the PASV reply and its
// address rule, the SIZE reply, capabilities, and the MLSD line parser. Nothing here
// throws or touches a socket, so it can be compiled natively and fuzzed.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// One reply: a three-digit code and its text lines (code and separator removed).
struct FtpReply {
    int Code = 0;
    std::vector<std::wstring> Text;

    // The text lines, each followed by CR LF: the message of a refused reply.
    std::wstring FormattedText() const;
    // The first text line, or "" for a reply without text.
    std::wstring FirstLine() const;
};

// Builds replies from received lines. Feed every line (already decoded, without its LF;
// a CR before the LF may still be there); Add returns Complete when a reply is whole.
class FtpReplyAssembler {
public:
    enum class Result { NeedMore, Complete, Invalid };

    Result Add(const std::wstring& rawLine);
    // The completed reply; the assembler starts afresh.
    FtpReply Take();
    void Reset();

private:
    bool started_ = false;
    std::wstring code_;
    FtpReply reply_;
};

// Blanks (space, tab and other control characters) trimmed at both ends.
std::wstring FtpTrim(const std::wstring& text);

// The control encoding: 8-bit (a character below 256 is its own byte, anything else
// "?"), or UTF-8 once the server has accepted the UTF8 option.
enum class FtpControlEncoding { EightBit, Utf8 };
std::string EncodeControl(const std::wstring& text, FtpControlEncoding encoding);
std::wstring DecodeControl(const std::string& bytes, FtpControlEncoding encoding);

// A command argument with CR or LF could carry a second command: it is never sent.
bool HasLineBreak(const std::wstring& argument);
// The argument with CR and LF made visible, for the error that refuses it.
std::wstring ShowLineBreaks(const std::wstring& argument);

// The address and port of a 227 reply's first text line; nullopt when it names none.
struct FtpHostPort {
    std::string Host; // dotted IPv4
    std::uint16_t Port = 0;
};
std::optional<FtpHostPort> ParsePasvReply(const std::wstring& firstTextLine);
// 127.x, 10.x, 169.254.x, 192.168.x and 172.16.x to 172.31.x.
bool IsPrivateAddress(const std::string& dotted);
// Where the passive data connection goes: the reply's address, unless it is private and
// the control connection's peer is not (a server behind NAT naming its inner address).
std::string ChooseDataHost(const std::string& replyHost, const std::string& controlPeer);

// The size a 213 reply gives; -1 for any other reply or a text that is no number.
std::int64_t ParseSizeReply(const FtpReply& reply);

// Whether a capability line names the feature (first word, case-insensitive).
bool FtpSupports(const std::vector<std::wstring>& capabilities, const std::wstring& name);
// Whether a SITE capability line lists the given SITE command among its facts.
bool FtpSiteSupports(const std::vector<std::wstring>& capabilities, const std::wstring& name);

// ---- Listings ------------------------------------------------------------------------

enum class FtpItemType { File, Directory, Link, BlockDevice, CharDevice, Pipe, Socket };

struct FtpListItem {
    std::wstring FileName;
    FtpItemType ItemType = FtpItemType::File;
    std::int64_t Size = -1;   // -1: no size fact
    std::wstring Modified;    // the modify fact as sent (YYYYMMDDHHMMSS[.sss], UTC)
    std::wstring Permissions; // the perm fact
    std::wstring UniqueId;    // the unique fact
    // Every fact as name (lower case) and value, in line order.
    std::vector<std::pair<std::wstring, std::wstring>> Facts;
};

// Splits listing bytes at LF (a CR before it dropped); empty lines are left out.
std::vector<std::string> SplitListingLines(const std::string& bytes);
// One MLSD line ("fact=value;fact=value; name"), its bytes as received.
FtpListItem ParseMlsdLine(const std::string& line);
