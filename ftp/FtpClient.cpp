#include "ftp/FtpClient.h"

#include <algorithm>
#include <utility>

#include "ftp/FtpSocket.h"
#include "util/FileSystem.h"
#include "util/pres.h"

using net::DataSocket;
using net::kChunk;

namespace {

constexpr int kHostCloseWaitMs = 50; // how long a refused HOST may take to close

[[noreturn]] void ThrowReplyTooLong() {
    throw Error(L"Invalid reply from the FTP server: longer than " +
                std::to_wstring(FtpClient::MaxReplySize) + L" bytes.");
}

// The local file of a transfer, closed on every path.
class LocalFile {
public:
    LocalFile(HANDLE h, std::wstring path) : h_(h), path_(std::move(path)) {}
    ~LocalFile() {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    LocalFile(const LocalFile&) = delete;
    LocalFile& operator=(const LocalFile&) = delete;
    HANDLE get() const { return h_; }
    const std::wstring& path() const { return path_; }

private:
    HANDLE h_;
    std::wstring path_;
};

[[noreturn]] void ThrowFileError(const wchar_t* what, const std::wstring& path) {
    DWORD e = GetLastError();
    throw EInOutError(std::wstring(L"cannot ") + what + L" file " + path + L": " +
                      SystemErrorMessage(e, L""));
}

void WriteAll(const LocalFile& f, const char* data, std::size_t size) {
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(f.get(), data, static_cast<DWORD>(size), &written, nullptr) || written == 0)
            ThrowFileError(L"write", f.path());
        data += written;
        size -= written;
    }
}

} // namespace

// ---- Connection state --------------------------------------------------------------------

struct FtpClient::Control {
    net::Socket sock;
    std::string input; // received bytes not yet part of a reply
    FtpReplyAssembler assembler;
    std::uint32_t peer = 0;  // the server's address
    std::uint32_t local = 0; // our end's address
};

class FtpClient::WorkScope {
public:
    WorkScope(FtpClient& client, WorkMode mode, std::int64_t max)
        : client_(client), work_(client.work_[mode]), mode_(mode) {
        if (++work_.level == 1) {
            work_.position = 0;
            work_.max = max;
            if (client_.OnWorkBegin) client_.OnWorkBegin(client_, mode_, max);
        }
    }
    ~WorkScope() { --work_.level; }
    WorkScope(const WorkScope&) = delete;
    WorkScope& operator=(const WorkScope&) = delete;
    void Advance(std::int64_t count) {
        work_.position += count;
        if (client_.OnWork) client_.OnWork(client_, mode_, work_.position);
    }

private:
    FtpClient& client_;
    Work& work_;
    WorkMode mode_;
};

const wchar_t* const FtpClient::ClientIdentification = L"korekta 1.0";

FtpClient::FtpClient() {
    net::StartWinsock();
}

FtpClient::~FtpClient() = default;

bool FtpClient::Connected() const {
    return control_ != nullptr;
}

// ---- The line protocol: commands and replies, no verb has a meaning here -----------------

void FtpClient::CheckArgument(const std::wstring& verb, const std::wstring& argument) const {
    if (!HasLineBreak(argument)) return;
    std::wstring shown = verb == L"PASS" ? std::wstring(L"(the password)")
                                         : L"\"" + ShowLineBreaks(argument) + L"\"";
    throw EFtpArgumentError(L"The argument of " + verb + L" " + shown +
                            L" contains a line break (CR or LF); the command was not sent.");
}

void FtpClient::CloseControl() {
    control_.reset();
}

void FtpClient::SendLine(const std::wstring& verb, const std::wstring& argument, int timeoutMs) {
    CheckArgument(verb, argument);
    if (!control_) throw EFtpConnectionClosed(L"Not connected.");
    std::string bytes = EncodeControl(argument.empty() ? verb : verb + L" " + argument, encoding_);
    bytes += "\r\n";
    try {
        net::SendAll(control_->sock, bytes.data(), bytes.size(),
                     net::Deadline(timeoutMs < 0 ? ReadTimeout : timeoutMs));
    } catch (...) {
        CloseControl();
        throw;
    }
}

FtpReply FtpClient::ReadReply(int timeoutMs) {
    if (!control_) throw EFtpConnectionClosed(L"Not connected.");
    Control& c = *control_;
    // One limit for the whole reply, in time and in size: a server that trickles a reply or
    // sends lines without end cannot hold the client longer than either.
    const net::Deadline deadline(timeoutMs);
    std::size_t size = 0; // bytes of this reply's lines taken so far
    try {
        for (;;) {
            std::size_t lf;
            while ((lf = c.input.find('\n')) != std::string::npos) {
                size += lf + 1;
                if (size > MaxReplySize) ThrowReplyTooLong();
                std::string line = c.input.substr(0, lf);
                c.input.erase(0, lf + 1);
                std::wstring text = DecodeControl(line, encoding_);
                switch (c.assembler.Add(text)) {
                case FtpReplyAssembler::Result::NeedMore:
                    break;
                case FtpReplyAssembler::Result::Complete:
                    return lastReply_ = c.assembler.Take();
                case FtpReplyAssembler::Result::Invalid:
                    throw Error(L"Invalid reply from the FTP server: " + FtpTrim(text));
                }
            }
            // What is buffered now is the start of a line of this reply.
            if (size + c.input.size() > MaxReplySize) ThrowReplyTooLong();
            char buffer[4096];
            int n = net::RecvSome(c.sock, buffer, sizeof buffer, deadline);
            if (n == 0) throw EFtpConnectionClosed(L"Connection Closed Gracefully.");
            c.input.append(buffer, static_cast<std::size_t>(n));
        }
    } catch (...) {
        // The reply stream is out of step now: nothing more can be read from it.
        CloseControl();
        throw;
    }
}

FtpReply FtpClient::Check(FtpReply reply, std::initializer_list<int> accepted) {
    if (accepted.size() == 0 ||
        std::find(accepted.begin(), accepted.end(), reply.Code) != accepted.end())
        return reply;
    // The server is closing: no QUIT, and what it sent besides is dropped.
    if (reply.Code == 421) CloseControl();
    throw EFtpReplyError(reply);
}

FtpReply FtpClient::SendCmd(const std::wstring& verb, const std::wstring& argument,
                            std::initializer_list<int> accepted) {
    SendLine(verb, argument);
    return Check(ReadReply(ReadTimeout), accepted);
}

// ---- Connect, login, disconnect ----------------------------------------------------------

std::wstring FtpClient::TypeArgument() const {
    return TransferType == ftBinary ? L"I" : L"A";
}

void FtpClient::Connect() {
    if (control_) throw Error(L"Already connected.");
    if (Host.empty()) throw Error(L"A Host is required");
    // A server that closes the connection on HOST is tried once more without it.
    if (!ConnectOnce(UseHOST)) ConnectOnce(false);
}

bool FtpClient::ConnectOnce(bool sendHost) {
    CheckArgument(L"HOST", Host);
    CheckArgument(L"USER", Username);
    CheckArgument(L"PASS", Password);
    CheckArgument(L"ACCT", Account);

    const std::uint32_t address = net::Resolve(Host);
    auto c = std::make_unique<Control>();
    c->sock = net::ConnectTo(address, Port, ConnectTimeout);
    c->peer = address;
    c->local = net::LocalAddress(c->sock);

    control_ = std::move(c);
    encoding_ = FtpControlEncoding::EightBit;
    greeting_ = loginMsg_ = FtpReply{};
    serverDesc_.clear();
    systemDesc_.clear();
    capabilities_.clear();
    canUseMLS_ = false;
    listingBytes_.clear();
    listingText_.clear();
    items_.clear();
    listingIsMlsd_ = false;
    listingParsed_ = false;

    bool greeted = false;
    try {
        FtpReply r = ReadReply(ReadTimeout);
        if (r.Code >= 100 && r.Code < 200) r = ReadReply(ReadTimeout);
        greeting_ = Check(std::move(r), {220});
        serverDesc_ = greeting_.FirstLine();
        greeted = true;

        if (sendHost && HostClosesConnection()) {
            CloseControl();
            return false;
        }
        if (AutoLogin) Login();

        FtpReply s = SendCmd(L"SYST", L"", {});
        systemDesc_ = s.Code == 500 ? std::wstring(L"Unknown") : s.FirstLine();

        static const wchar_t* const zoneServers[] = {L"Serv-U ", L"BPFTP Server ",
                                                     L"TitanFTP server ", L"Titan FTP Server "};
        bool zone = FtpSiteSupports(capabilities_, L"ZONE");
        for (const wchar_t* prefix : zoneServers)
            if (serverDesc_.rfind(prefix, 0) == 0) zone = true;
        if (zone) SendCmd(L"SITE", L"ZONE", {});

        SendCmd(L"TYPE", TypeArgument(), {200});
    } catch (...) {
        if (greeted)
            Disconnect();
        else
            CloseControl();
        throw;
    }
    return true;
}

bool FtpClient::HostClosesConnection() {
    try {
        const FtpReply h = SendCmd(L"HOST", Host, {});
        // Any reply on a connection that stays open is no failure.
        return h.Code != 220 && control_->input.empty() &&
               net::PeerClosed(control_->sock, kHostCloseWaitMs);
    } catch (const EFtpConnectionClosed&) {
        return true;
    } catch (const ESocketError& e) {
        if (!net::IsConnectionLost(e.ErrorCode())) throw;
        return true;
    }
}

void FtpClient::Login() {
    FtpReply r = SendCmd(L"USER", Username, {230, 232, 331});
    if (r.Code == 331) r = SendCmd(L"PASS", Password, {230, 332});
    if (r.Code == 332) {
        if (Account.empty()) throw EFtpReplyError(r);
        r = SendCmd(L"ACCT", Account, {202, 230, 500});
    }
    loginMsg_ = r;

    if (AutoIssueFEAT) {
        FtpReply f = SendCmd(L"FEAT", L"", {});
        if ((f.Code == 211 || f.Code == 221) && f.Text.size() > 2)
            capabilities_.assign(f.Text.begin() + 1, f.Text.end() - 1);
        canUseMLS_ = FtpSupports(capabilities_, L"MLSD") || FtpSupports(capabilities_, L"MLST");
        if (FtpSupports(capabilities_, L"CLNT")) SendCmd(L"CLNT", ClientIdentification, {});
        if (FtpSupports(capabilities_, L"UTF8")) {
            FtpReply o = SendCmd(L"OPTS", L"UTF8 ON", {});
            if (o.Code >= 200 && o.Code < 300) {
                encoding_ = FtpControlEncoding::Utf8;
            } else if (SendCmd(L"OPTS", L"UTF-8 NLST", {}).Code == 200) {
                encoding_ = FtpControlEncoding::Utf8;
            }
        }
    }
    SendCmd(L"TYPE", TypeArgument(), {200});
}

void FtpClient::Disconnect() {
    if (!control_) return;
    try {
        // QUIT and its reply within QuitWaitMs in all, whatever the server sends meanwhile.
        const net::Deadline deadline(QuitWaitMs);
        SendLine(L"QUIT", L"", QuitWaitMs);
        const int left = deadline.Left();
        if (control_ && left > 0) ReadReply(left);
    } catch (...) {
        // Leaving is all that matters here.
    }
    CloseControl();
}

// ---- Simple commands -----------------------------------------------------------------------

void FtpClient::ChangeDir(const std::wstring& folder) {
    SendCmd(L"CWD", folder, {200, 250, 257});
}

void FtpClient::MakeDir(const std::wstring& folder) {
    SendCmd(L"MKD", folder, {257});
}

std::int64_t FtpClient::Size(const std::wstring& path) {
    CheckArgument(L"SIZE", path);
    bool ascii = TransferType != ftBinary;
    if (ascii) SendCmd(L"TYPE", L"I", {200});
    FtpReply r = SendCmd(L"SIZE", path, {});
    if (ascii) SendCmd(L"TYPE", L"A", {200});
    return ParseSizeReply(r);
}

// ---- Data connections ----------------------------------------------------------------------

FtpHostPort FtpClient::PassiveTarget(const std::wstring& transferLine) {
    if (FtpSupports(capabilities_, L"PRET")) SendCmd(L"PRET", transferLine, {});
    FtpReply r = SendCmd(L"PASV", L"", {227});
    auto target = ParsePasvReply(r.FirstLine());
    if (!target) throw Error(L"Invalid PASV reply: " + r.FirstLine());
    const std::string peer = net::Dotted(control_->peer);
    target->Host = PassiveUseControlHost ? peer : ChooseDataHost(target->Host, peer);
    return *target;
}

DataSocket FtpClient::ConnectPassive(const FtpHostPort& target) {
    try {
        DataSocket data(net::ConnectTo(net::ParseDotted(target.Host), target.Port, ConnectTimeout));
        data.Limit(TransferTimeout);
        return data;
    } catch (...) {
        // The server waits on a connection that never came: its reply state is unknown.
        CloseControl();
        throw;
    }
}

net::Socket FtpClient::ListenActive() {
    std::uint16_t port = 0;
    net::Socket listener = net::Listen(control_->local, DataPort, DataPortMin, DataPortMax, port);
    const auto* b = reinterpret_cast<const unsigned char*>(&control_->local);
    SendCmd(L"PORT",
            std::to_wstring(b[0]) + L"," + std::to_wstring(b[1]) + L"," + std::to_wstring(b[2]) +
                L"," + std::to_wstring(b[3]) + L"," + std::to_wstring(port >> 8) + L"," +
                std::to_wstring(port & 0xFF),
            {200});
    return listener;
}

FtpReply FtpClient::OpenData(Direction direction, const std::wstring& verb,
                             const std::wstring& argument, DataSocket& data) {
    if (Passive) {
        const FtpHostPort target = PassiveTarget(argument.empty() ? verb : verb + L" " + argument);
        if (direction == Direction::Fetch) {
            // The transfer command is not sent when the data connection cannot be opened.
            data = ConnectPassive(target);
            return SendCmd(verb, argument, {125, 150, 154, 450});
        }
        SendLine(verb, argument);
        data = ConnectPassive(target);
        return Check(ReadReply(ReadTimeout), {110, 125, 150});
    }
    const net::Socket listener = ListenActive();
    const FtpReply r = direction == Direction::Fetch ? SendCmd(verb, argument, {125, 150, 154})
                                                     : SendCmd(verb, argument, {125, 150});
    try {
        data = DataSocket(net::AcceptWithin(listener, ListenTimeout));
        data.Limit(TransferTimeout);
    } catch (...) {
        FailTransfer();
        throw;
    }
    return r;
}

EFtpTooLarge FtpClient::TooLarge(const std::wstring& verb, const std::wstring& argument,
                                 std::int64_t limit, std::int64_t received) {
    std::wstring text = verb == L"RETR"
                            ? L"The server sent more than the " + std::to_wstring(limit) +
                                  L" bytes it announced for " + argument + L" (" +
                                  std::to_wstring(received) +
                                  L" bytes received); the transfer was stopped."
                            : L"The folder listing is longer than " + std::to_wstring(limit) +
                                  L" bytes; the transfer was stopped.";
    return EFtpTooLarge(text, limit, received);
}

void FtpClient::FailTransfer() {
    // Where the transfer broke off, the final reply cannot be told from later ones.
    CloseControl();
}

void FtpClient::ReadFinalReply(int transferCode) {
    if (transferCode >= 300) return;
    Check(ReadReply(ReadTimeout), {226, 225, 250});
}

bool FtpClient::Receive(const std::wstring& verb, const std::wstring& argument, const Sink& sink,
                        std::int64_t restart, std::int64_t limit) {
    if (!control_) throw EFtpConnectionClosed(L"Not connected.");
    CheckArgument(verb, argument);
    if (restart > 0) SendCmd(L"REST", std::to_wstring(restart), {350});

    DataSocket data;
    const FtpReply r = OpenData(Direction::Fetch, verb, argument, data);
    if (r.Code == 450) return false;
    try {
        WorkScope work(*this, wmRead, 0);
        std::unique_ptr<char[]> buffer(new char[kChunk]);
        std::int64_t total = restart;
        for (;;) {
            // Near the limit, one byte more than it allows is asked for: the excess shows
            // with the first byte of it, and the transfer stops there.
            int want = kChunk;
            if (limit >= 0 && limit - total < kChunk)
                want = static_cast<int>(std::max<std::int64_t>(limit - total, 0)) + 1;
            int n = data.Recv(buffer.get(), want);
            if (n == 0) break;
            total += n;
            if (limit >= 0 && total > limit) throw TooLarge(verb, argument, limit, total);
            sink(buffer.get(), static_cast<std::size_t>(n));
            work.Advance(n);
        }
    } catch (...) {
        data.Close();
        FailTransfer();
        throw;
    }
    data.Close();
    ReadFinalReply(r.Code);
    return true;
}

// ---- Transfers ---------------------------------------------------------------------------

void FtpClient::Get(const std::wstring& remotePath, const std::wstring& localFile,
                    bool canOverwrite, bool resume, std::int64_t maxSize) {
    CheckArgument(L"RETR", remotePath);
    if (!control_) throw EFtpConnectionClosed(L"Not connected.");
    if (!canOverwrite && !resume && (FileExists(localFile) || FolderExists(localFile)))
        throw Error(L"Destination file already exists.");
    LocalFile file(CreateFileW(localFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               resume ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                               nullptr),
                   localFile);
    if (file.get() == INVALID_HANDLE_VALUE) ThrowFileError(L"create", localFile);
    std::int64_t restart = 0;
    if (resume) {
        LARGE_INTEGER size{}, zero{};
        GetFileSizeEx(file.get(), &size);
        SetFilePointerEx(file.get(), zero, nullptr, FILE_END);
        restart = size.QuadPart;
    }
    Receive(
        L"RETR", remotePath,
        [&file](const char* data, std::size_t size) { WriteAll(file, data, size); }, restart,
        maxSize);
}

void FtpClient::Put(const std::wstring& localFile, const std::wstring& remotePath, bool append,
                    std::int64_t startPos) {
    std::wstring remote = remotePath.empty() ? ExtractFileName(localFile) : remotePath;
    if (remote.empty()) throw Error(L"The destination filename can not be empty");
    std::wstring verb = append ? L"APPE" : L"STOR";
    CheckArgument(verb, remote);
    if (!control_) throw EFtpConnectionClosed(L"Not connected.");
    LocalFile file(CreateFileW(localFile.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
                   localFile);
    if (file.get() == INVALID_HANDLE_VALUE) ThrowFileError(L"open", localFile);
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) ThrowFileError(L"read", localFile);
    if (startPos >= 0) {
        SendCmd(L"REST", std::to_wstring(startPos), {350});
        LARGE_INTEGER at{};
        at.QuadPart = startPos;
        SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN);
    }

    DataSocket data;
    const FtpReply r = OpenData(Direction::Store, verb, remote, data);
    try {
        WorkScope work(*this, wmWrite, size.QuadPart);
        std::unique_ptr<char[]> buffer(new char[kChunk]);
        for (;;) {
            DWORD got = 0;
            if (!ReadFile(file.get(), buffer.get(), kChunk, &got, nullptr))
                ThrowFileError(L"read", localFile);
            if (got == 0) break;
            try {
                data.Send(buffer.get(), got);
            } catch (const ESocketError& e) {
                if (e.ErrorCode() == WSAENOTSOCK) break;
                throw;
            }
            work.Advance(got);
        }
    } catch (...) {
        data.Close();
        FailTransfer();
        throw;
    }
    data.EndSending();
    ReadFinalReply(r.Code);
}

void FtpClient::List() {
    if (!control_) throw EFtpConnectionClosed(L"Not connected.");
    listingBytes_.clear();
    listingText_.clear();
    items_.clear();
    listingParsed_ = false;
    listingIsMlsd_ = false;
    std::string bytes;
    Sink sink = [&bytes](const char* data, std::size_t size) { bytes.append(data, size); };
    if (UseMLIS && canUseMLS_) {
        Receive(L"MLSD", L"", sink, 0, MaxListingSize);
        listingIsMlsd_ = true;
        listingBytes_ = SplitListingLines(bytes);
        for (const auto& line : listingBytes_)
            listingText_.push_back(DecodeControl(line, FtpControlEncoding::EightBit));
        return;
    }
    bool binary = TransferType == ftBinary;
    if (binary) SendCmd(L"TYPE", L"A", {200});
    try {
        Receive(L"LIST", L"", sink, 0, MaxListingSize);
    } catch (...) {
        if (binary && control_) {
            try {
                SendCmd(L"TYPE", L"I", {200});
            } catch (...) {
                // The listing's own failure is the one to report.
            }
        }
        throw;
    }
    if (binary) SendCmd(L"TYPE", L"I", {200});
    for (const auto& line : SplitListingLines(bytes))
        listingText_.push_back(DecodeControl(line, encoding_));
}

const std::vector<FtpListItem>& FtpClient::DirectoryListing() {
    if (listingParsed_) return items_;
    items_.clear();
    if (listingIsMlsd_) {
        for (const auto& line : listingBytes_)
            items_.push_back(ParseMlsdLine(line));
    } else if (!listingText_.empty()) {
        throw Error(L"No FTP list parsers have been registered.");
    }
    listingParsed_ = true;
    return items_;
}
