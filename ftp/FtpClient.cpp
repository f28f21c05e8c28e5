#include "ftp/FtpClient.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <utility>

namespace {

constexpr int kChunk = 32768;        // largest receive or send of a data transfer
constexpr int kHostCloseWaitMs = 50; // how long a refused HOST may take to close

// Winsock is started once for the process and left running until it ends.
void StartWinsock() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}

std::wstring FormatSystemText(DWORD code) {
    wchar_t* buffer = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text;
    if (n && buffer) text.assign(buffer, n);
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    return text;
}

[[noreturn]] void ThrowLastSocketError() {
    throw ESocketError(WSAGetLastError());
}

[[noreturn]] void ThrowReplyTooLong() {
    throw Error(L"Invalid reply from the FTP server: longer than " +
                std::to_wstring(FtpClient::MaxReplySize) + L" bytes.");
}

// One owned socket, closed when it goes.
class Socket {
public:
    Socket() = default;
    explicit Socket(SOCKET s) : s_(s) {}
    Socket(Socket&& o) noexcept : s_(std::exchange(o.s_, INVALID_SOCKET)) {}
    Socket& operator=(Socket&& o) noexcept {
        if (this != &o) {
            Close();
            s_ = std::exchange(o.s_, INVALID_SOCKET);
        }
        return *this;
    }
    ~Socket() { Close(); }
    SOCKET get() const { return s_; }
    bool open() const { return s_ != INVALID_SOCKET; }
    void Close() {
        if (s_ != INVALID_SOCKET) closesocket(std::exchange(s_, INVALID_SOCKET));
    }

private:
    SOCKET s_ = INVALID_SOCKET;
};

// Waits until the socket can be read (or written); false when ms ran out. ms <= 0 waits
// without limit.
bool WaitFor(SOCKET s, bool write, int ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    int r =
        select(0, write ? nullptr : &set, write ? &set : nullptr, nullptr, ms > 0 ? &tv : nullptr);
    if (r == SOCKET_ERROR) ThrowLastSocketError();
    return r > 0;
}

// A deadline on the control connection: one limit for a whole wait, however many receives
// or sends it takes.
class Deadline {
public:
    // ms <= 0: no limit.
    explicit Deadline(int ms) : limited_(ms > 0), end_(GetTickCount64() + (ms > 0 ? ms : 0)) {}
    bool Limited() const { return limited_; }
    // Milliseconds left, at least 1 while the limit has not passed; 0 once it has.
    int Left() const {
        ULONGLONG now = GetTickCount64();
        return now >= end_ ? 0 : static_cast<int>(end_ - now);
    }

private:
    bool limited_;
    ULONGLONG end_;
};

// One receive of at most len bytes on the control connection, within the deadline; 0 when
// the peer has closed.
int RecvSome(SOCKET s, char* buffer, int len, const Deadline& deadline) {
    if (deadline.Limited()) {
        int left = deadline.Left();
        if (left == 0 || !WaitFor(s, false, left)) throw EFtpTimeout(L"Read timed out.");
    }
    int n = recv(s, buffer, len, 0);
    if (n == SOCKET_ERROR) ThrowLastSocketError();
    return n;
}

// Sends a command line on the control connection, within the deadline.
void SendAll(SOCKET s, const char* data, std::size_t size, const Deadline& deadline) {
    while (size > 0) {
        if (deadline.Limited()) {
            int left = deadline.Left();
            if (left == 0 || !WaitFor(s, true, left)) throw EFtpTimeout(L"Write timed out.");
        }
        int n = send(s, data, static_cast<int>(std::min<std::size_t>(size, kChunk)), 0);
        if (n == SOCKET_ERROR) ThrowLastSocketError();
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

std::uint32_t Resolve(const std::wstring& host) {
    std::string ascii(host.begin(), host.end());
    in_addr a{};
    if (inet_pton(AF_INET, ascii.c_str(), &a) == 1) return a.s_addr;
    ADDRINFOW hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    ADDRINFOW* found = nullptr;
    int r = GetAddrInfoW(host.c_str(), nullptr, &hints, &found);
    if (r != 0 || !found) throw ESocketError(r != 0 ? r : WSAHOST_NOT_FOUND);
    std::uint32_t addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    FreeAddrInfoW(found);
    return addr;
}

std::string Dotted(std::uint32_t addr) {
    in_addr a{};
    a.s_addr = addr;
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

// A TCP connection; timeoutMs 0 leaves the limit to the platform.
Socket ConnectTo(std::uint32_t addr, std::uint16_t port, int timeoutMs) {
    Socket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!s.open()) ThrowLastSocketError();
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = addr;
    to.sin_port = htons(port);
    auto* sa = reinterpret_cast<const sockaddr*>(&to);
    if (timeoutMs <= 0) {
        if (connect(s.get(), sa, sizeof to) == SOCKET_ERROR) ThrowLastSocketError();
        return s;
    }
    u_long nonBlocking = 1;
    ioctlsocket(s.get(), FIONBIO, &nonBlocking);
    if (connect(s.get(), sa, sizeof to) == SOCKET_ERROR) {
        int e = WSAGetLastError();
        if (e != WSAEWOULDBLOCK) throw ESocketError(e);
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s.get(), &writable);
        FD_SET(s.get(), &failed);
        timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        int r = select(0, nullptr, &writable, &failed, &tv);
        if (r == SOCKET_ERROR) ThrowLastSocketError();
        if (r == 0) throw ESocketError(WSAETIMEDOUT);
        int soError = 0;
        int len = sizeof soError;
        getsockopt(s.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &len);
        if (FD_ISSET(s.get(), &failed) || soError != 0)
            throw ESocketError(soError != 0 ? soError : WSAECONNREFUSED);
    }
    nonBlocking = 0;
    ioctlsocket(s.get(), FIONBIO, &nonBlocking);
    return s;
}

std::wstring FileNamePart(const std::wstring& path) {
    std::size_t p = path.find_last_of(L"\\:");
    return p == std::wstring::npos ? path : path.substr(p + 1);
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
                      FormatSystemText(e));
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

bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

// ---- Errors ------------------------------------------------------------------------------

std::wstring SocketErrorText(int code) {
    switch (code) {
    case WSAEINTR:
        return L"Interrupted system call.";
    case WSAEACCES:
        return L"Permission denied.";
    case WSAEFAULT:
        return L"Bad address.";
    case WSAEINVAL:
        return L"Invalid argument.";
    case WSAEMFILE:
        return L"Too many open files.";
    case WSAEWOULDBLOCK:
        return L"Operation would block.";
    case WSAENOTSOCK:
        return L"Socket operation on non-socket.";
    case WSAEMSGSIZE:
        return L"Message too long.";
    case WSAEADDRINUSE:
        return L"Address already in use.";
    case WSAEADDRNOTAVAIL:
        return L"Cannot assign requested address.";
    case WSAENETDOWN:
        return L"Network is down.";
    case WSAENETUNREACH:
        return L"Network is unreachable.";
    case WSAENETRESET:
        return L"Net dropped connection or reset.";
    case WSAECONNABORTED:
        return L"Software caused connection abort.";
    case WSAECONNRESET:
        return L"Connection reset by peer.";
    case WSAENOBUFS:
        return L"No buffer space available.";
    case WSAENOTCONN:
        return L"Socket is not connected.";
    case WSAESHUTDOWN:
        return L"Cannot send after socket shutdown.";
    case WSAETIMEDOUT:
        return L"Connection timed out.";
    case WSAECONNREFUSED:
        return L"Connection refused.";
    case WSAEHOSTDOWN:
        return L"Host is down.";
    case WSAEHOSTUNREACH:
        return L"No route to host.";
    case WSASYSNOTREADY:
        return L"Network subsystem is unavailable.";
    case WSANOTINITIALISED:
        return L"Winsock not initialized.";
    case WSAHOST_NOT_FOUND:
        return L"Host not found.";
    case WSATRY_AGAIN:
        return L"Non-authoritative response (try again or check DNS setup).";
    case WSANO_RECOVERY:
        return L"Non-recoverable errors: FORMERR, REFUSED, NOTIMP.";
    case WSANO_DATA:
        return L"Valid name, no data record (check DNS setup).";
    default:
        break;
    }
    std::wstring text = FormatSystemText(static_cast<DWORD>(code));
    return text.empty() ? L"Unknown error." : text;
}

ESocketError::ESocketError(int code)
    : Error(L"Socket Error # " + std::to_wstring(code) + L"\r\n" + SocketErrorText(code)),
      code_(code) {}

// ---- Connection state --------------------------------------------------------------------

struct FtpClient::Control {
    Socket sock;
    std::string input; // received bytes not yet part of a reply
    FtpReplyAssembler assembler;
    std::uint32_t peer = 0;  // the server's address
    std::uint32_t local = 0; // our end's address
};

// A data connection. Its time-out is the socket's own (SO_RCVTIMEO and SO_SNDTIMEO, set
// once), so that every receive and send stays one plain call: no select per chunk.
struct FtpClient::DataSocket {
    Socket sock;
    bool limited = false; // a time-out is set: WSAETIMEDOUT means it ran out

    void Limit(int ms) {
        if (ms <= 0) return;
        DWORD value = static_cast<DWORD>(ms);
        const char* v = reinterpret_cast<const char*>(&value);
        if (setsockopt(sock.get(), SOL_SOCKET, SO_RCVTIMEO, v, sizeof value) != 0 ||
            setsockopt(sock.get(), SOL_SOCKET, SO_SNDTIMEO, v, sizeof value) != 0)
            ThrowLastSocketError();
        limited = true;
    }
    // One receive of at most len bytes; 0 when the server has closed.
    int Recv(char* buffer, int len) {
        int n = recv(sock.get(), buffer, len, 0);
        if (n == SOCKET_ERROR) Fail(L"Read timed out.");
        return n;
    }
    void Send(const char* data, std::size_t size) {
        while (size > 0) {
            int n =
                send(sock.get(), data, static_cast<int>(std::min<std::size_t>(size, kChunk)), 0);
            if (n == SOCKET_ERROR) Fail(L"Write timed out.");
            data += n;
            size -= static_cast<std::size_t>(n);
        }
    }

private:
    [[noreturn]] void Fail(const wchar_t* timedOut) const {
        int e = WSAGetLastError();
        if (limited && e == WSAETIMEDOUT) throw EFtpTimeout(timedOut);
        throw ESocketError(e);
    }
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
    StartWinsock();
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
        SendAll(control_->sock.get(), bytes.data(), bytes.size(),
                Deadline(timeoutMs < 0 ? ReadTimeout : timeoutMs));
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
    const Deadline deadline(timeoutMs);
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
            int n = RecvSome(c.sock.get(), buffer, sizeof buffer, deadline);
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
    ConnectOnce();
}

void FtpClient::ConnectOnce() {
    CheckArgument(L"HOST", Host);
    CheckArgument(L"USER", Username);
    CheckArgument(L"PASS", Password);
    CheckArgument(L"ACCT", Account);

    std::uint32_t addr = Resolve(Host);
    auto c = std::make_unique<Control>();
    c->sock = ConnectTo(addr, Port, ConnectTimeout);
    c->peer = addr;
    sockaddr_in local{};
    int len = sizeof local;
    getsockname(c->sock.get(), reinterpret_cast<sockaddr*>(&local), &len);
    c->local = local.sin_addr.s_addr;

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

        if (UseHOST) {
            bool closed = false;
            try {
                FtpReply h = SendCmd(L"HOST", Host, {});
                if (h.Code != 220 && control_->input.empty() &&
                    WaitFor(control_->sock.get(), false, kHostCloseWaitMs)) {
                    char probe;
                    int n = recv(control_->sock.get(), &probe, 1, MSG_PEEK);
                    int e = n == SOCKET_ERROR ? WSAGetLastError() : 0;
                    closed = n == 0 || e == WSAECONNABORTED || e == WSAECONNRESET;
                }
            } catch (const EFtpConnectionClosed&) {
                closed = true;
            } catch (const ESocketError& e) {
                if (e.ErrorCode() != WSAECONNABORTED && e.ErrorCode() != WSAECONNRESET) throw;
                closed = true;
            }
            if (closed) {
                // A server that closes on HOST is tried once more without it.
                CloseControl();
                UseHOST = false;
                try {
                    ConnectOnce();
                } catch (...) {
                    UseHOST = true;
                    throw;
                }
                UseHOST = true;
                return;
            }
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
        const Deadline deadline(QuitWaitMs);
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
    std::string peer = Dotted(control_->peer);
    if (PassiveUseControlHost)
        target->Host = peer;
    else
        target->Host = ChooseDataHost(target->Host, peer);
    return *target;
}

FtpClient::DataSocket FtpClient::ConnectPassive(const FtpHostPort& target) {
    in_addr a{};
    inet_pton(AF_INET, target.Host.c_str(), &a);
    DataSocket data;
    try {
        data.sock = ConnectTo(a.s_addr, target.Port, ConnectTimeout);
        data.Limit(TransferTimeout);
    } catch (...) {
        // The server waits on a connection that never came: its reply state is unknown.
        CloseControl();
        throw;
    }
    return data;
}

FtpClient::DataSocket FtpClient::ListenActive() {
    DataSocket listener;
    listener.sock = Socket(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!listener.sock.open()) ThrowLastSocketError();
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = control_->local;
    bool bound = false;
    if (DataPort == 0 && DataPortMin != 0 && DataPortMax >= DataPortMin) {
        for (unsigned p = DataPortMin; p <= DataPortMax && !bound; ++p) {
            at.sin_port = htons(static_cast<std::uint16_t>(p));
            bound = bind(listener.sock.get(), reinterpret_cast<sockaddr*>(&at), sizeof at) == 0;
        }
        if (!bound) ThrowLastSocketError();
    } else {
        at.sin_port = htons(DataPort);
        if (bind(listener.sock.get(), reinterpret_cast<sockaddr*>(&at), sizeof at) != 0)
            ThrowLastSocketError();
    }
    if (listen(listener.sock.get(), 1) != 0) ThrowLastSocketError();
    int len = sizeof at;
    getsockname(listener.sock.get(), reinterpret_cast<sockaddr*>(&at), &len);
    const auto* b = reinterpret_cast<const unsigned char*>(&at.sin_addr.s_addr);
    unsigned port = ntohs(at.sin_port);
    std::wstring arg = std::to_wstring(b[0]) + L"," + std::to_wstring(b[1]) + L"," +
                       std::to_wstring(b[2]) + L"," + std::to_wstring(b[3]) + L"," +
                       std::to_wstring(port >> 8) + L"," + std::to_wstring(port & 0xFF);
    SendCmd(L"PORT", arg, {200});
    return listener;
}

namespace {

Socket AcceptWithin(const Socket& listener, int ms) {
    if (!WaitFor(listener.get(), false, ms)) throw EFtpTimeout(L"Accept timed out.");
    Socket s(accept(listener.get(), nullptr, nullptr));
    if (!s.open()) ThrowLastSocketError();
    return s;
}

} // namespace

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
    std::wstring line = argument.empty() ? verb : verb + L" " + argument;
    CheckArgument(verb, argument);
    if (restart > 0) SendCmd(L"REST", std::to_wstring(restart), {350});

    DataSocket data;
    FtpReply r;
    if (Passive) {
        // The transfer command is not sent when the data connection cannot be opened.
        data = ConnectPassive(PassiveTarget(line));
        r = SendCmd(verb, argument, {125, 150, 154, 450});
        if (r.Code == 450) return false;
    } else {
        DataSocket listener = ListenActive();
        r = SendCmd(verb, argument, {125, 150, 154});
        try {
            data.sock = AcceptWithin(listener.sock, ListenTimeout);
            data.Limit(TransferTimeout);
        } catch (...) {
            FailTransfer();
            throw;
        }
    }
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
        data.sock.Close();
        FailTransfer();
        throw;
    }
    data.sock.Close();
    ReadFinalReply(r.Code);
    return true;
}

// ---- Transfers ---------------------------------------------------------------------------

void FtpClient::Get(const std::wstring& remotePath, const std::wstring& localFile,
                    bool canOverwrite, bool resume, std::int64_t maxSize) {
    CheckArgument(L"RETR", remotePath);
    if (!control_) throw EFtpConnectionClosed(L"Not connected.");
    if (!canOverwrite && !resume && FileExists(localFile))
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
    std::wstring remote = remotePath.empty() ? FileNamePart(localFile) : remotePath;
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
    FtpReply r;
    if (Passive) {
        FtpHostPort target = PassiveTarget(verb + L" " + remote);
        SendLine(verb, remote);
        data = ConnectPassive(target);
        r = Check(ReadReply(ReadTimeout), {110, 125, 150});
    } else {
        DataSocket listener = ListenActive();
        r = SendCmd(verb, remote, {125, 150});
        try {
            data.sock = AcceptWithin(listener.sock, ListenTimeout);
            data.Limit(TransferTimeout);
        } catch (...) {
            FailTransfer();
            throw;
        }
    }
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
        data.sock.Close();
        FailTransfer();
        throw;
    }
    shutdown(data.sock.get(), SD_SEND);
    data.sock.Close();
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
