#include "ftp/FtpSocket.h"

#include <algorithm>
#include <utility>

#include "util/Errors.h"

// ---- Errors --------------------------------------------------------------------------------

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
    return SystemErrorMessage(static_cast<std::uint32_t>(code), L"Unknown error.");
}

ESocketError::ESocketError(int code)
    : Error(L"Socket Error # " + std::to_wstring(code) + L"\r\n" + SocketErrorText(code)),
      code_(code) {}

namespace net {

void StartWinsock() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}

void ThrowLastSocketError() {
    throw ESocketError(WSAGetLastError());
}

bool IsConnectionLost(int code) {
    return code == WSAECONNABORTED || code == WSAECONNRESET;
}

// ---- Sockets and waits ---------------------------------------------------------------------

Socket::Socket(Socket&& o) noexcept : s_(std::exchange(o.s_, INVALID_SOCKET)) {}

Socket& Socket::operator=(Socket&& o) noexcept {
    if (this != &o) {
        Close();
        s_ = std::exchange(o.s_, INVALID_SOCKET);
    }
    return *this;
}

void Socket::Close() {
    if (s_ != INVALID_SOCKET) closesocket(std::exchange(s_, INVALID_SOCKET));
}

int Deadline::Left() const {
    const ULONGLONG now = GetTickCount64();
    return now >= end_ ? 0 : static_cast<int>(end_ - now);
}

bool WaitFor(const Socket& s, bool write, int ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s.get(), &set);
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    const int r =
        select(0, write ? nullptr : &set, write ? &set : nullptr, nullptr, ms > 0 ? &tv : nullptr);
    if (r == SOCKET_ERROR) ThrowLastSocketError();
    return r > 0;
}

int RecvSome(const Socket& s, char* buffer, int len, const Deadline& deadline) {
    if (deadline.Limited()) {
        const int left = deadline.Left();
        if (left == 0 || !WaitFor(s, false, left)) throw EFtpTimeout(L"Read timed out.");
    }
    const int n = recv(s.get(), buffer, len, 0);
    if (n == SOCKET_ERROR) ThrowLastSocketError();
    return n;
}

void SendAll(const Socket& s, const char* data, std::size_t size, const Deadline& deadline) {
    while (size > 0) {
        if (deadline.Limited()) {
            const int left = deadline.Left();
            if (left == 0 || !WaitFor(s, true, left)) throw EFtpTimeout(L"Write timed out.");
        }
        const int n = send(s.get(), data, static_cast<int>(std::min<std::size_t>(size, kChunk)), 0);
        if (n == SOCKET_ERROR) ThrowLastSocketError();
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

bool PeerClosed(const Socket& s, int ms) {
    if (!WaitFor(s, false, ms)) return false;
    char probe;
    const int n = recv(s.get(), &probe, 1, MSG_PEEK);
    return n == 0 || (n == SOCKET_ERROR && IsConnectionLost(WSAGetLastError()));
}

// ---- Addresses -----------------------------------------------------------------------------

std::uint32_t Resolve(const std::wstring& host) {
    const std::string ascii(host.begin(), host.end());
    in_addr a{};
    if (inet_pton(AF_INET, ascii.c_str(), &a) == 1) return a.s_addr;
    ADDRINFOW hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    ADDRINFOW* found = nullptr;
    const int r = GetAddrInfoW(host.c_str(), nullptr, &hints, &found);
    if (r != 0 || !found) throw ESocketError(r != 0 ? r : WSAHOST_NOT_FOUND);
    const std::uint32_t address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    FreeAddrInfoW(found);
    return address;
}

std::uint32_t ParseDotted(const std::string& dotted) {
    in_addr a{};
    inet_pton(AF_INET, dotted.c_str(), &a);
    return a.s_addr;
}

std::string Dotted(std::uint32_t address) {
    in_addr a{};
    a.s_addr = address;
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

std::uint32_t LocalAddress(const Socket& s) {
    sockaddr_in local{};
    int len = sizeof local;
    getsockname(s.get(), reinterpret_cast<sockaddr*>(&local), &len);
    return local.sin_addr.s_addr;
}

// ---- Connections ---------------------------------------------------------------------------

Socket ConnectTo(std::uint32_t address, std::uint16_t port, int timeoutMs) {
    Socket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!s.open()) ThrowLastSocketError();
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = address;
    to.sin_port = htons(port);
    const auto* sa = reinterpret_cast<const sockaddr*>(&to);
    if (timeoutMs <= 0) {
        if (connect(s.get(), sa, sizeof to) == SOCKET_ERROR) ThrowLastSocketError();
        return s;
    }
    u_long nonBlocking = 1;
    ioctlsocket(s.get(), FIONBIO, &nonBlocking);
    if (connect(s.get(), sa, sizeof to) == SOCKET_ERROR) {
        const int e = WSAGetLastError();
        if (e != WSAEWOULDBLOCK) throw ESocketError(e);
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s.get(), &writable);
        FD_SET(s.get(), &failed);
        timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        const int r = select(0, nullptr, &writable, &failed, &tv);
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

Socket Listen(std::uint32_t address, std::uint16_t port, std::uint16_t portMin,
              std::uint16_t portMax, std::uint16_t& bound) {
    Socket listener(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!listener.open()) ThrowLastSocketError();
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = address;
    auto* sa = reinterpret_cast<sockaddr*>(&at);
    if (port == 0 && portMin != 0 && portMax >= portMin) {
        bool done = false;
        for (unsigned p = portMin; p <= portMax && !done; ++p) {
            at.sin_port = htons(static_cast<std::uint16_t>(p));
            done = bind(listener.get(), sa, sizeof at) == 0;
        }
        if (!done) ThrowLastSocketError();
    } else {
        at.sin_port = htons(port);
        if (bind(listener.get(), sa, sizeof at) != 0) ThrowLastSocketError();
    }
    if (listen(listener.get(), 1) != 0) ThrowLastSocketError();
    int len = sizeof at;
    getsockname(listener.get(), sa, &len);
    bound = ntohs(at.sin_port);
    return listener;
}

Socket AcceptWithin(const Socket& listener, int ms) {
    if (!WaitFor(listener, false, ms)) throw EFtpTimeout(L"Accept timed out.");
    Socket s(accept(listener.get(), nullptr, nullptr));
    if (!s.open()) ThrowLastSocketError();
    return s;
}

// ---- Data connections ----------------------------------------------------------------------

void DataSocket::Limit(int ms) {
    if (ms <= 0) return;
    const DWORD value = static_cast<DWORD>(ms);
    const char* v = reinterpret_cast<const char*>(&value);
    if (setsockopt(sock_.get(), SOL_SOCKET, SO_RCVTIMEO, v, sizeof value) != 0 ||
        setsockopt(sock_.get(), SOL_SOCKET, SO_SNDTIMEO, v, sizeof value) != 0)
        ThrowLastSocketError();
    limited_ = true;
}

int DataSocket::Recv(char* buffer, int len) {
    const int n = recv(sock_.get(), buffer, len, 0);
    if (n == SOCKET_ERROR) Fail(L"Read timed out.");
    return n;
}

void DataSocket::Send(const char* data, std::size_t size) {
    while (size > 0) {
        const int n =
            send(sock_.get(), data, static_cast<int>(std::min<std::size_t>(size, kChunk)), 0);
        if (n == SOCKET_ERROR) Fail(L"Write timed out.");
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

void DataSocket::EndSending() {
    shutdown(sock_.get(), SD_SEND);
    sock_.Close();
}

void DataSocket::Fail(const wchar_t* timedOut) const {
    const int e = WSAGetLastError();
    if (limited_ && e == WSAETIMEDOUT) throw EFtpTimeout(timedOut);
    throw ESocketError(e);
}

} // namespace net
