#pragma once
// FTP servers for tests: real pyftpdlib servers and scripted ones, each on 127.0.0.1 on a
// free port, started and stopped (by process id) through the server manager that the
// CTest fixture "ftp_servers" runs. A test program that uses them is registered with
// korekta_requires_ftp_servers(<test>) (tests/servers/CMakeLists.txt).
//
//   FtpTestServer server = FtpTestServer::Real();             // fresh root, user, password
//   TestFolder local; WriteFile(server.Root() + L"a.txt", ...);
//   client.Host = server.Host(); client.Port = server.Port(); ...
//   std::vector<std::string> commands = server.Transcript(); // after the client is done
//
//   FtpScript script;
//   script.Feat({"MLSD", "UTF8"}).Reply("SIZE", 550, "No such file.").CloseOn("HOST");
//   FtpTestServer scripted = FtpTestServer::Scripted(script);

#include <cstdint>
#include <string>
#include <vector>

// The rules of a scripted server. Verbs are matched in upper case; a rule fires every
// time its verb comes unless Times or Arg narrow it (they change the rule added last).
class FtpScript {
public:
    // Raw lines sent in place of the server's 220 greeting.
    FtpScript& Greeting(const std::vector<std::string>& lines);
    // The exact FEAT capability lines; CLNT and PRET are answered 200 when listed here, and
    // "OPTS UTF8 ON" is accepted only when UTF8 is. Without this call the server's own.
    FtpScript& Feat(const std::vector<std::string>& lines);
    // Answers the verb with the raw reply lines; the command is not carried out.
    FtpScript& Reply(const std::string& verb, const std::vector<std::string>& lines);
    FtpScript& Reply(const std::string& verb, int code, const std::string& text);
    // Answers the verb with one reply line and then closes the control connection.
    FtpScript& ReplyAndClose(const std::string& verb, int code, const std::string& text);
    // Closes the control connection when the verb arrives, without a reply.
    FtpScript& CloseOn(const std::string& verb);
    // Answers the verb only after ms milliseconds (ms < 0: never).
    FtpScript& Stall(const std::string& verb, int ms = -1);
    // PASV listens on that address (it must lie in 127.0.0.0/8) and names it.
    FtpScript& PasvAddress(const std::string& address);
    // The verb's data connection is closed after that many bytes, and the verb is
    // answered 426.
    FtpScript& CutData(const std::string& verb, std::int64_t bytes);
    // Answers the verb (MLSD, LIST, RETR) over the data connection with exactly these bytes.
    FtpScript& Data(const std::string& verb, const std::string& bytes);

    // Faults that make a client wait. A data connection opened and then silent is
    // Reply(verb, 150, "..."): the command is answered and nothing is sent on it.
    // RETR sends the first `bytes` bytes of the file, then keeps the data connection open
    // and silent.
    FtpScript& HoldData(const std::string& verb, std::int64_t bytes);
    // Answers the verb (STOR) 150 and never reads its data connection.
    FtpScript& NoRead(const std::string& verb);
    // Answers the verb over the data connection with these bytes repeated without end.
    FtpScript& FloodData(const std::string& verb, const std::string& bytes);
    // Answers the verb with the raw lines, then with `line` without end, one every ms
    // milliseconds (0: as fast as the client reads).
    FtpScript& Endless(const std::string& verb, const std::vector<std::string>& lines,
                       const std::string& line, int ms);
    // Answers the verb with the raw lines, one byte every ms milliseconds.
    FtpScript& Trickle(const std::string& verb, const std::vector<std::string>& lines, int ms);
    // Narrows the last rule: only n times, only for this exact argument.
    FtpScript& Times(int n);
    FtpScript& Arg(const std::string& argument);

    std::string Json() const;

private:
    struct Rule {
        std::string verb, action, arg, address, data, line;
        std::vector<std::string> lines;
        std::int64_t number = -1;
        int times = -1;
        bool hasArg = false;
        bool closeAfter = false;
    };
    Rule& Add(const std::string& verb, const std::string& action);
    std::vector<Rule> rules_;
    std::vector<std::string> greeting_, feat_;
    bool hasGreeting_ = false, hasFeat_ = false;
};

class FtpTestServer {
public:
    // A stock pyftpdlib server (it also accepts "OPTS UTF8 ON"). root: a Windows folder
    // to serve; empty: a fresh folder, removed when the server stops.
    static FtpTestServer Real(const std::string& user = "korekta",
                              const std::string& password = "tajne",
                              const std::wstring& root = L"");
    // The same server, answering as the script says; it reads 8-bit commands until the
    // client switches UTF8 on.
    static FtpTestServer Scripted(const FtpScript& script, const std::string& user = "korekta",
                                  const std::string& password = "tajne",
                                  const std::wstring& root = L"");

    // ProFTPD, a server independent of the tests' own, serving root (empty: a fresh
    // folder) to user. Its transcript holds "PASS (hidden)" in place of the password.
    static FtpTestServer Proftpd(const std::string& user = "korekta",
                                 const std::string& password = "tajne",
                                 const std::wstring& root = L"");
    // Empty when ProFTPD can run here, else the reason (not installed, not root).
    static std::string ProftpdUnavailable();

    FtpTestServer(FtpTestServer&& other) noexcept;
    FtpTestServer& operator=(FtpTestServer&& other) noexcept;
    FtpTestServer(const FtpTestServer&) = delete;
    FtpTestServer& operator=(const FtpTestServer&) = delete;
    ~FtpTestServer(); // stops the server

    std::wstring Host() const { return L"127.0.0.1"; }
    std::uint16_t Port() const { return port_; }
    std::wstring User() const;
    std::wstring Password() const;
    // The served folder as a Windows path ending in "\".
    const std::wstring& Root() const { return root_; }

    // Every command line the server received, in order, as raw bytes without CR LF. Waits
    // (up to waitMs) until no control connection is open, so a QUIT sent last is there.
    std::vector<std::string> Transcript(int waitMs = 5000) const;
    // The number of control connections open now.
    int OpenSessions() const;

    // Kills the server process by its id and removes its folder; idempotent.
    void Stop();

private:
    FtpTestServer() = default;
    static FtpTestServer Start(bool scripted, const std::string& scriptJson,
                               const std::string& user, const std::string& password,
                               const std::wstring& root, const char* kind = "pyftpdlib");

    int id_ = 0;
    std::uint16_t port_ = 0;
    std::string user_, password_;
    std::wstring root_, dir_;
};

// Windows path for a Linux path (through wine's mapping) and back.
std::wstring WindowsPathOf(const std::string& unixPath);
std::string UnixPathOf(const std::wstring& windowsPath);
