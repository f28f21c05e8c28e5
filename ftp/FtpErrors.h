#pragma once
// The failures of the FTP client. Each carries the text the user reads. Needs no platform.

#include <cstdint>
#include <string>

#include "ftp/FtpProtocol.h"
#include "util/Errors.h"

// A reply outside the command's accepted codes; the message is the server's reply text.
class EFtpReplyError : public Error {
public:
    explicit EFtpReplyError(const FtpReply& reply)
        : Error(reply.FormattedText()), code_(reply.Code) {}
    int Code() const noexcept { return code_; }

private:
    int code_;
};

// A socket call failed: "Socket Error # <code>", CR LF, the platform's text.
class ESocketError : public Error {
public:
    explicit ESocketError(int code);
    int ErrorCode() const noexcept { return code_; }

private:
    int code_;
};

// The clear text of a Winsock error code ("Connection refused." for 10061).
std::wstring SocketErrorText(int code);

// A wait of ReadTimeout, TransferTimeout or ListenTimeout ran out.
class EFtpTimeout : public Error {
    using Error::Error;
};

// A fetch or a listing that carried more bytes than it may: more than the size the caller
// gave Get (the size the server announced), or more than MaxListingSize. The transfer was
// stopped as soon as the excess arrived.
class EFtpTooLarge : public Error {
public:
    EFtpTooLarge(const std::wstring& message, std::int64_t limit, std::int64_t received)
        : Error(message), limit_(limit), received_(received) {}
    std::int64_t Limit() const noexcept { return limit_; }
    // The bytes received when the transfer was stopped: Limit() + 1.
    std::int64_t Received() const noexcept { return received_; }

private:
    std::int64_t limit_, received_;
};

// The server closed the control or data connection where the client needed more.
class EFtpConnectionClosed : public Error {
    using Error::Error;
};

// A command argument that cannot be sent (it contains CR or LF).
class EFtpArgumentError : public Error {
    using Error::Error;
};
