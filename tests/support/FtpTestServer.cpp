#include "FtpTestServer.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <map>
#include <stdexcept>
#include <utility>

namespace {

std::string Narrow(const std::wstring& w) {
    if (w.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

std::wstring Widen(const std::string& s) {
    if (s.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
    return out;
}

std::string Quote(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// Every byte as the character of its value, so that any bytes survive the JSON text.
std::string QuoteBytes(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x80) {
            char buf[8];
            snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string QuoteList(const std::vector<std::string>& items) {
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i) out += ",";
        out += Quote(items[i]);
    }
    return out + "]";
}

std::string ReadWholeFile(const std::wstring& path, bool* found = nullptr) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (found) *found = h != INVALID_HANDLE_VALUE;
    if (h == INVALID_HANDLE_VALUE) return {};
    std::string out;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0)
        out.append(buf, got);
    CloseHandle(h);
    return out;
}

// One request to the server manager; the answer's fields (or a thrown failure).
std::map<std::string, std::string> AskManager(const std::string& json) {
    const char* state = getenv("KOREKTA_FTP_SERVERS");
    if (!state || !*state)
        throw std::runtime_error("KOREKTA_FTP_SERVERS is not set: run this test through ctest, "
                                 "whose fixture ftp_servers starts the FTP server manager");
    std::string text = ReadWholeFile(WindowsPathOf(state));
    int port = atoi(text.c_str());
    if (port <= 0)
        throw std::runtime_error(std::string("the FTP server manager is not running (") + state +
                                 ")");
    static const bool started = [] {
        WSADATA d;
        return WSAStartup(MAKEWORD(2, 2), &d) == 0;
    }();
    (void)started;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<u_short>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        closesocket(s);
        throw std::runtime_error("cannot reach the FTP server manager");
    }
    std::string line = json + "\n";
    send(s, line.data(), static_cast<int>(line.size()), 0);
    std::string answer;
    char buf[4096];
    int n;
    while ((n = recv(s, buf, sizeof buf, 0)) > 0) {
        answer.append(buf, static_cast<std::size_t>(n));
        if (answer.find('\n') != std::string::npos) break;
    }
    closesocket(s);
    while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r'))
        answer.pop_back();
    std::map<std::string, std::string> fields;
    std::size_t start = 0;
    std::vector<std::string> parts;
    for (;;) {
        std::size_t tab = answer.find('\t', start);
        parts.push_back(
            answer.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    if (parts.empty() || parts[0] != "OK")
        throw std::runtime_error("FTP server manager: " + (parts.size() > 1 ? parts[1] : answer));
    for (std::size_t i = 1; i < parts.size(); ++i) {
        std::size_t eq = parts[i].find('=');
        fields[parts[i].substr(0, eq)] = eq == std::string::npos ? "" : parts[i].substr(eq + 1);
    }
    return fields;
}

} // namespace

std::wstring WindowsPathOf(const std::string& unixPath) {
    using ToDos = wchar_t*(CDECL*)(const char*);
    static auto toDos = reinterpret_cast<ToDos>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    if (toDos) {
        if (wchar_t* p = toDos(unixPath.c_str())) {
            std::wstring out = p;
            HeapFree(GetProcessHeap(), 0, p);
            return out;
        }
    }
    std::wstring out = L"Z:";
    out += Widen(unixPath);
    for (auto& c : out)
        if (c == L'/') c = L'\\';
    return out;
}

std::string UnixPathOf(const std::wstring& windowsPath) {
    using ToUnix = char*(CDECL*)(const wchar_t*);
    static auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (toUnix) {
        if (char* p = toUnix(windowsPath.c_str())) {
            std::string out = p;
            HeapFree(GetProcessHeap(), 0, p);
            return out;
        }
    }
    if (windowsPath.size() > 2 && (windowsPath[0] == L'Z' || windowsPath[0] == L'z') &&
        windowsPath[1] == L':') {
        std::string out = Narrow(windowsPath.substr(2));
        for (auto& c : out)
            if (c == '\\') c = '/';
        return out;
    }
    throw std::runtime_error("cannot map a Windows path to a Linux path: " + Narrow(windowsPath));
}

// ---- FtpScript ---------------------------------------------------------------------------

FtpScript::Rule& FtpScript::Add(const std::string& verb, const std::string& action) {
    Rule r;
    r.verb = verb;
    r.action = action;
    rules_.push_back(r);
    return rules_.back();
}

FtpScript& FtpScript::Greeting(const std::vector<std::string>& lines) {
    greeting_ = lines;
    hasGreeting_ = true;
    return *this;
}

FtpScript& FtpScript::Feat(const std::vector<std::string>& lines) {
    feat_ = lines;
    hasFeat_ = true;
    return *this;
}

FtpScript& FtpScript::Reply(const std::string& verb, const std::vector<std::string>& lines) {
    Add(verb, "reply").lines = lines;
    return *this;
}

FtpScript& FtpScript::Reply(const std::string& verb, int code, const std::string& text) {
    return Reply(verb, std::vector<std::string>{std::to_string(code) + " " + text});
}

FtpScript& FtpScript::ReplyAndClose(const std::string& verb, int code, const std::string& text) {
    Rule& r = Add(verb, "reply");
    r.lines = {std::to_string(code) + " " + text};
    r.closeAfter = true;
    return *this;
}

FtpScript& FtpScript::CloseOn(const std::string& verb) {
    Add(verb, "close");
    return *this;
}

FtpScript& FtpScript::Stall(const std::string& verb, int ms) {
    Add(verb, "stall").number = ms;
    return *this;
}

FtpScript& FtpScript::PasvAddress(const std::string& address) {
    if (address.rfind("127.", 0) != 0)
        throw std::invalid_argument("a test server only listens on 127.0.0.0/8");
    Add("PASV", "pasv").address = address;
    return *this;
}

FtpScript& FtpScript::CutData(const std::string& verb, std::int64_t bytes) {
    Add(verb, "cut").number = bytes;
    return *this;
}

FtpScript& FtpScript::Data(const std::string& verb, const std::string& bytes) {
    Add(verb, "data").data = bytes;
    return *this;
}

FtpScript& FtpScript::HoldData(const std::string& verb, std::int64_t bytes) {
    Add(verb, "hold").number = bytes;
    return *this;
}

FtpScript& FtpScript::NoRead(const std::string& verb) {
    Add(verb, "noread");
    return *this;
}

FtpScript& FtpScript::FloodData(const std::string& verb, const std::string& bytes) {
    Add(verb, "flood").data = bytes;
    return *this;
}

FtpScript& FtpScript::Endless(const std::string& verb, const std::vector<std::string>& lines,
                              const std::string& line, int ms) {
    Rule& r = Add(verb, "endless");
    r.lines = lines;
    r.line = line;
    r.number = ms;
    return *this;
}

FtpScript& FtpScript::Trickle(const std::string& verb, const std::vector<std::string>& lines,
                              int ms) {
    Rule& r = Add(verb, "trickle");
    r.lines = lines;
    r.number = ms;
    return *this;
}

FtpScript& FtpScript::Times(int n) {
    if (!rules_.empty()) rules_.back().times = n;
    return *this;
}

FtpScript& FtpScript::Arg(const std::string& argument) {
    if (!rules_.empty()) {
        rules_.back().arg = argument;
        rules_.back().hasArg = true;
    }
    return *this;
}

std::string FtpScript::Json() const {
    std::string out = "{";
    if (hasGreeting_) out += "\"greeting\":" + QuoteList(greeting_) + ",";
    if (hasFeat_) out += "\"feat\":" + QuoteList(feat_) + ",";
    out += "\"rules\":[";
    for (std::size_t i = 0; i < rules_.size(); ++i) {
        const Rule& r = rules_[i];
        out += i ? ",{" : "{";
        out += "\"cmd\":" + Quote(r.verb) + ",\"action\":" + Quote(r.action);
        if (r.hasArg) out += ",\"arg\":" + Quote(r.arg);
        if (r.times >= 0) out += ",\"times\":" + std::to_string(r.times);
        const bool timed = r.action == "endless" || r.action == "trickle";
        if (r.action == "reply" || timed) out += ",\"lines\":" + QuoteList(r.lines);
        if (r.action == "endless") out += ",\"line\":" + Quote(r.line);
        if (r.closeAfter) out += ",\"close\":true";
        if (r.action == "pasv") out += ",\"address\":" + Quote(r.address);
        if ((r.action == "stall" || timed) && r.number >= 0)
            out += ",\"ms\":" + std::to_string(r.number);
        if (r.action == "data" || r.action == "flood") out += ",\"data\":" + QuoteBytes(r.data);
        if (r.action == "cut" || r.action == "hold")
            out += ",\"bytes\":" + std::to_string(r.number);
        out += "}";
    }
    return out + "]}";
}

// ---- FtpTestServer -----------------------------------------------------------------------

FtpTestServer FtpTestServer::Real(const std::string& user, const std::string& password,
                                  const std::wstring& root) {
    return Start(false, "{}", user, password, root);
}

FtpTestServer FtpTestServer::Scripted(const FtpScript& script, const std::string& user,
                                      const std::string& password, const std::wstring& root) {
    return Start(true, script.Json(), user, password, root);
}

FtpTestServer FtpTestServer::Proftpd(const std::string& user, const std::string& password,
                                     const std::wstring& root) {
    return Start(false, "{}", user, password, root, "proftpd");
}

std::string FtpTestServer::ProftpdUnavailable() {
    auto fields = AskManager("{\"op\":\"available\",\"kind\":\"proftpd\"}");
    return fields["available"] == "1" ? std::string() : fields["why"];
}

FtpTestServer FtpTestServer::Start(bool scripted, const std::string& scriptJson,
                                   const std::string& user, const std::string& password,
                                   const std::wstring& root, const char* kind) {
    std::string request = "{\"op\":\"start\",\"kind\":" + Quote(kind) + ",\"user\":" + Quote(user) +
                          ",\"password\":" + Quote(password) +
                          ",\"scripted\":" + (scripted ? "true" : "false") +
                          ",\"script\":" + scriptJson;
    if (!root.empty()) request += ",\"root\":" + Quote(UnixPathOf(root));
    request += "}";
    auto fields = AskManager(request);
    FtpTestServer s;
    s.id_ = atoi(fields["id"].c_str());
    s.port_ = static_cast<std::uint16_t>(atoi(fields["port"].c_str()));
    s.user_ = user;
    s.password_ = password;
    s.dir_ = WindowsPathOf(fields["dir"]);
    if (!s.dir_.empty() && s.dir_.back() != L'\\') s.dir_ += L'\\';
    s.root_ = root.empty() ? WindowsPathOf(fields["root"]) : root;
    if (!s.root_.empty() && s.root_.back() != L'\\') s.root_ += L'\\';
    return s;
}

FtpTestServer::FtpTestServer(FtpTestServer&& other) noexcept
    : id_(std::exchange(other.id_, 0)), port_(other.port_), user_(std::move(other.user_)),
      password_(std::move(other.password_)), root_(std::move(other.root_)),
      dir_(std::move(other.dir_)) {}

FtpTestServer& FtpTestServer::operator=(FtpTestServer&& other) noexcept {
    if (this != &other) {
        Stop();
        id_ = std::exchange(other.id_, 0);
        port_ = other.port_;
        user_ = std::move(other.user_);
        password_ = std::move(other.password_);
        root_ = std::move(other.root_);
        dir_ = std::move(other.dir_);
    }
    return *this;
}

FtpTestServer::~FtpTestServer() {
    try {
        Stop();
    } catch (...) {
        // The manager stops whatever is left when the test run ends.
    }
}

void FtpTestServer::Stop() {
    if (id_ == 0) return;
    int id = std::exchange(id_, 0);
    AskManager("{\"op\":\"stop\",\"id\":" + std::to_string(id) + "}");
}

std::wstring FtpTestServer::User() const {
    return Widen(user_);
}
std::wstring FtpTestServer::Password() const {
    return Widen(password_);
}

int FtpTestServer::OpenSessions() const {
    bool found = false;
    std::string text = ReadWholeFile(dir_ + L"sessions", &found);
    return found ? atoi(text.c_str()) : 0;
}

// A server that counts its sessions at intervals (ProFTPD) writes "count number-of-count";
// the count is current once its number is two past the one first read.
static long CountNumber(const std::string& sessions) {
    std::size_t blank = sessions.find(' ');
    return blank == std::string::npos ? -1 : atol(sessions.c_str() + blank + 1);
}

std::vector<std::string> FtpTestServer::Transcript(int waitMs) const {
    DWORD start = GetTickCount();
    long first = CountNumber(ReadWholeFile(dir_ + L"sessions"));
    for (;;) {
        std::string sessions = ReadWholeFile(dir_ + L"sessions");
        bool current = first < 0 || CountNumber(sessions) >= first + 2;
        if ((current && atoi(sessions.c_str()) == 0) ||
            static_cast<int>(GetTickCount() - start) >= waitMs)
            break;
        Sleep(10);
    }
    std::string text = ReadWholeFile(dir_ + L"transcript");
    std::vector<std::string> lines;
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t lf = text.find('\n', begin);
        if (lf == std::string::npos) lf = text.size();
        lines.push_back(text.substr(begin, lf - begin));
        begin = lf + 1;
    }
    return lines;
}
