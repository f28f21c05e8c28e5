#pragma once
// The Winsock layer beneath the FTP client: an owned socket, waits with deadlines, name
// resolution, connect (bounded or the platform's own limit), listen and accept, the data
// connection with its socket time-outs, and the texts of socket errors. It knows nothing of
// FTP. Included by the ftp/ units only: it brings the Winsock headers with it.

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "ftp/FtpErrors.h"

namespace net {

// The largest receive or send of a data transfer.
inline constexpr int kChunk = 32768;

// Starts Winsock once for the process; it runs until the process ends.
void StartWinsock();
// Raises ESocketError for the calling thread's last socket error.
[[noreturn]] void ThrowLastSocketError();
// Whether a socket error says that the peer ended the connection (aborted or reset).
bool IsConnectionLost(int code);

// One owned socket, closed when it goes.
class Socket {
public:
    Socket() = default;
    explicit Socket(SOCKET s) : s_(s) {}
    Socket(Socket&& o) noexcept;
    Socket& operator=(Socket&& o) noexcept;
    ~Socket() { Close(); }
    SOCKET get() const { return s_; }
    bool open() const { return s_ != INVALID_SOCKET; }
    void Close();

private:
    SOCKET s_ = INVALID_SOCKET;
};

// One limit for a whole wait, however many receives or sends it takes.
class Deadline {
public:
    // ms <= 0: no limit.
    explicit Deadline(int ms) : limited_(ms > 0), end_(GetTickCount64() + (ms > 0 ? ms : 0)) {}
    bool Limited() const { return limited_; }
    // Milliseconds left, at least 1 while the limit has not passed; 0 once it has.
    int Left() const;

private:
    bool limited_;
    ULONGLONG end_;
};

// Waits until the socket can be read (or written); false when ms ran out. ms <= 0 waits
// without limit.
bool WaitFor(const Socket& s, bool write, int ms);
// One receive of at most len bytes within the deadline ("Read timed out." otherwise); 0 when
// the peer has closed.
int RecvSome(const Socket& s, char* buffer, int len, const Deadline& deadline);
// Sends all bytes within the deadline ("Write timed out." otherwise).
void SendAll(const Socket& s, const char* data, std::size_t size, const Deadline& deadline);
// Whether the peer closes the connection (in order, aborted or reset) within ms, with no
// data before that.
bool PeerClosed(const Socket& s, int ms);

// An IPv4 address (network order) of a host name or dotted address.
std::uint32_t Resolve(const std::wstring& host);
std::uint32_t ParseDotted(const std::string& dotted);
std::string Dotted(std::uint32_t address);
// The local address of a connected socket.
std::uint32_t LocalAddress(const Socket& s);

// A TCP connection; timeoutMs 0 leaves the limit to the platform.
Socket ConnectTo(std::uint32_t address, std::uint16_t port, int timeoutMs);
// A listener on address, at port, or (port 0 with a range) at the first free port from
// portMin to portMax, or else at any free port; bound receives the port.
Socket Listen(std::uint32_t address, std::uint16_t port, std::uint16_t portMin,
              std::uint16_t portMax, std::uint16_t& bound);
// The connection a listener receives within ms ("Accept timed out." otherwise).
Socket AcceptWithin(const Socket& listener, int ms);

// A data connection. Its time-out is the socket's own (SO_RCVTIMEO and SO_SNDTIMEO, set
// once), so that every receive and send stays one plain call: no select per chunk.
class DataSocket {
public:
    DataSocket() = default;
    explicit DataSocket(Socket s) : sock_(std::move(s)) {}
    // Sets the time-out of every receive and send; ms <= 0: none.
    void Limit(int ms);
    // One receive of at most len bytes; 0 when the server has closed.
    int Recv(char* buffer, int len);
    // Sends all bytes, in chunks of at most kChunk.
    void Send(const char* data, std::size_t size);
    // Tells the server that no more data comes, then closes.
    void EndSending();
    void Close() { sock_.Close(); }

private:
    [[noreturn]] void Fail(const wchar_t* timedOut) const;

    Socket sock_;
    bool limited_ = false; // a time-out is set: WSAETIMEDOUT means it ran out
};

} // namespace net
