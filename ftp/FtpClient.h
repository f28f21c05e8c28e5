#pragma once
// The FTP client session (the class of the windows' IdFTP1): connect and log in, change
// and make folders, ask sizes, fetch, store and list, on blocking Winsock sockets. Every
// operation runs on the calling thread and reports failure by throwing an Error.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "ftp/FtpErrors.h"
#include "ftp/FtpProtocol.h"

enum FtpTransferType { ftASCII, ftBinary };
enum WorkMode { wmRead, wmWrite };

namespace net {
class Socket;
class DataSocket;
} // namespace net

class FtpClient {
public:
    FtpClient();
    ~FtpClient();
    FtpClient(const FtpClient&) = delete;
    FtpClient& operator=(const FtpClient&) = delete;

    // ---- Settings (they survive disconnection) ----
    std::wstring Host;
    std::uint16_t Port = 21;
    std::wstring Username;
    std::wstring Password;
    std::wstring Account;
    bool Passive = false;
    FtpTransferType TransferType = ftASCII;
    int ConnectTimeout = 0;    // ms, 0: the platform's own limit
    int ReadTimeout = 60000;   // ms for each control reply as a whole, 0: no limit
    int ListenTimeout = 10000; // ms to accept the server's active data connection
    int TransferTimeout = 0;   // ms for each data receive or send, 0: no limit
    bool UseHOST = true;
    bool AutoLogin = true;
    bool AutoIssueFEAT = true;
    bool UseMLIS = true;
    std::uint16_t DataPort = 0; // active mode listening port, 0: any free port
    std::uint16_t DataPortMin = 0;
    std::uint16_t DataPortMax = 0;
    bool PassiveUseControlHost = false; // passive: always connect to the control peer

    // Progress of data transfers (see Get, Put, List); never fired for control traffic.
    std::function<void(FtpClient& sender, WorkMode mode, std::int64_t countMax)> OnWorkBegin;
    std::function<void(FtpClient& sender, WorkMode mode, std::int64_t count)> OnWork;

    // The most bytes a control reply may have (all its lines), and a folder listing.
    static constexpr std::size_t MaxReplySize = std::size_t{1} << 20;
    static constexpr std::int64_t MaxListingSize = std::int64_t{64} << 20;
    // How long Disconnect waits for the QUIT reply, in all.
    static constexpr int QuitWaitMs = 100;

    // ---- Operations ----
    // Connects, greets, sends HOST, logs in (USER/PASS/ACCT, FEAT, CLNT, OPTS UTF8), SYST,
    // SITE ZONE where the server wants it, TYPE. On failure the client is disconnected.
    void Connect();
    bool Connected() const;
    // QUIT (its reply read if it comes within QuitWaitMs in all), then the socket is closed.
    void Disconnect();

    void ChangeDir(const std::wstring& folder); // CWD: 200, 250, 257
    void MakeDir(const std::wstring& folder);   // MKD: 257
    // SIZE (TYPE I around it for ASCII); -1 when refused or not a number.
    std::int64_t Size(const std::wstring& path);
    // RETR into a new local file ("Destination file already exists." otherwise, unless
    // canOverwrite); resume continues a partial local file with REST. maxSize >= 0 is the
    // size the server announced: the fetch fails with EFtpTooLarge as soon as the local
    // file would grow past it.
    void Get(const std::wstring& remotePath, const std::wstring& localFile,
             bool canOverwrite = false, bool resume = false, std::int64_t maxSize = -1);
    // STOR of the whole local file (APPE when append; REST and a seek when startPos >= 0).
    void Put(const std::wstring& localFile, const std::wstring& remotePath = L"",
             bool append = false, std::int64_t startPos = -1);
    // MLSD when the server offers it (and UseMLIS), LIST otherwise; the folder is the
    // current one. A listing longer than MaxListingSize fails with EFtpTooLarge.
    void List();
    // The items of the last listing, parsed on first access. A LIST listing that is not
    // empty raises "No FTP list parsers have been registered.".
    const std::vector<FtpListItem>& DirectoryListing();

    // Sends any command and checks its reply (an empty list accepts every reply).
    FtpReply SendCmd(const std::wstring& verb, const std::wstring& argument,
                     std::initializer_list<int> accepted);

    // ---- What the last connection learnt ----
    const FtpReply& Greeting() const { return greeting_; }
    const std::wstring& ServerDesc() const { return serverDesc_; }
    const std::wstring& SystemDesc() const { return systemDesc_; }
    const FtpReply& LoginMsg() const { return loginMsg_; }
    const FtpReply& LastReply() const { return lastReply_; }
    const std::vector<std::wstring>& Capabilities() const { return capabilities_; }
    bool CanUseMLS() const { return canUseMLS_; }
    bool UsesUtf8() const { return encoding_ == FtpControlEncoding::Utf8; }
    // The text lines of the last listing and whether they came from MLSD.
    const std::vector<std::wstring>& ListingLines() const { return listingText_; }
    bool ListingIsMlsd() const { return listingIsMlsd_; }

    // The identification sent with CLNT.
    static const wchar_t* const ClientIdentification;

private:
    struct Control;
    struct Work {
        int level = 0;
        std::int64_t max = 0;
        std::int64_t position = 0;
    };
    class WorkScope;
    enum class Direction { Fetch, Store };

    // One connection and login; false when the server closed the connection on HOST (the
    // client is then disconnected, ready to try without it).
    bool ConnectOnce(bool sendHost);
    // Sends HOST; whether the server closed the connection on it.
    bool HostClosesConnection();
    void Login();
    void CheckArgument(const std::wstring& verb, const std::wstring& argument) const;
    // Sends one command line; timeoutMs bounds the send (ReadTimeout when -1).
    void SendLine(const std::wstring& verb, const std::wstring& argument, int timeoutMs = -1);
    // Reads one whole reply within timeoutMs (0: no limit) and MaxReplySize.
    FtpReply ReadReply(int timeoutMs);
    FtpReply Check(FtpReply reply, std::initializer_list<int> accepted);
    void CloseControl();
    std::wstring TypeArgument() const;

    // The data connection of a transfer command, and the command sent with it: passive, the
    // connection to the PASV address (opened before a fetch's command, after a store's);
    // active, a listener announced with PORT whose connection is accepted after the command.
    // Returns the command's reply (a fetch's 450 included: then no data follows).
    FtpReply OpenData(Direction direction, const std::wstring& verb, const std::wstring& argument,
                      net::DataSocket& data);
    FtpHostPort PassiveTarget(const std::wstring& transferLine);
    net::DataSocket ConnectPassive(const FtpHostPort& target);
    net::Socket ListenActive();
    using Sink = std::function<void(const char*, std::size_t)>;
    // Runs a fetch-like transfer (RETR, MLSD, LIST) into sink; false when it ended early
    // with a 450 reply (no data). limit >= 0 bounds restart + the bytes received.
    bool Receive(const std::wstring& verb, const std::wstring& argument, const Sink& sink,
                 std::int64_t restart, std::int64_t limit);
    void ReadFinalReply(int transferCode);
    static EFtpTooLarge TooLarge(const std::wstring& verb, const std::wstring& argument,
                                 std::int64_t limit, std::int64_t received);
    void FailTransfer();

    std::unique_ptr<Control> control_;
    FtpControlEncoding encoding_ = FtpControlEncoding::EightBit;
    FtpReply greeting_, loginMsg_, lastReply_;
    std::wstring serverDesc_, systemDesc_;
    std::vector<std::wstring> capabilities_;
    bool canUseMLS_ = false;
    std::vector<std::string> listingBytes_; // MLSD lines as received
    std::vector<std::wstring> listingText_;
    bool listingIsMlsd_ = false;
    bool listingParsed_ = false;
    std::vector<FtpListItem> items_;
    Work work_[2];
};
