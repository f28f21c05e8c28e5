// Benchmark helper, run under wine by tools/bench-ftp (not a test):
//
//   bench_ftp client get|put PORT USER PASSWORD REMOTE LOCAL   korekta's FtpClient
//   bench_ftp raw    get|put PORT USER PASSWORD REMOTE LOCAL   a minimal Winsock loop
//
// Both talk to 127.0.0.1, move the data in receives and sends of 32768 bytes and print one
// line: "bytes=<n> seconds=<s> peak_private=<bytes> peak_ws=<bytes> growth=<bytes>", where
// growth is how far the peak private bytes rose above the level before the transfer.

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "ftp/FtpClient.h"

namespace {

constexpr int kChunk = 32768;

// The transfer's own time: from the data connection's set-up to the final reply, so that
// the login (HOST, FEAT, SYST...) does not count against the client.
LARGE_INTEGER g_start, g_end;
void Mark(LARGE_INTEGER& t) {
    QueryPerformanceCounter(&t);
}

std::wstring Wide(const char* s) {
    std::wstring out;
    for (; *s; ++s)
        out += static_cast<wchar_t>(static_cast<unsigned char>(*s));
    return out;
}

PROCESS_MEMORY_COUNTERS Memory() {
    PROCESS_MEMORY_COUNTERS m{};
    m.cb = sizeof m;
    GetProcessMemoryInfo(GetCurrentProcess(), &m, sizeof m);
    return m;
}

// ---- The raw loop: just enough FTP to reach a data connection ----

struct Raw {
    SOCKET control = INVALID_SOCKET;
    std::string input;

    static SOCKET Dial(const char* host, int port) {
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<u_short>(port));
        inet_pton(AF_INET, host, &a.sin_addr);
        if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
            throw std::runtime_error("connect failed");
        return s;
    }
    // The code of the next complete reply (multi-line replies skipped to their end).
    int Reply() {
        std::string first;
        for (;;) {
            std::size_t lf;
            while ((lf = input.find('\n')) != std::string::npos) {
                std::string line = input.substr(0, lf);
                input.erase(0, lf + 1);
                if (first.empty()) {
                    first = line;
                    if (line.size() < 4 || line[3] != '-') return atoi(line.c_str());
                } else if (line.compare(0, 3, first, 0, 3) == 0 && line.size() > 3 &&
                           line[3] == ' ') {
                    return atoi(first.c_str());
                }
            }
            char buf[1024];
            int n = recv(control, buf, sizeof buf, 0);
            if (n <= 0) throw std::runtime_error("control connection lost");
            input.append(buf, static_cast<std::size_t>(n));
        }
    }
    std::string LastLine;
    int Cmd(const std::string& line) {
        std::string l = line + "\r\n";
        send(control, l.data(), static_cast<int>(l.size()), 0);
        return Reply();
    }
    SOCKET Pasv() {
        std::string l = "PASV\r\n";
        send(control, l.data(), static_cast<int>(l.size()), 0);
        // Read the 227 line by hand to get the numbers.
        for (;;) {
            std::size_t lf = input.find('\n');
            if (lf != std::string::npos) {
                std::string line = input.substr(0, lf);
                input.erase(0, lf + 1);
                unsigned h1, h2, h3, h4, p1, p2;
                std::size_t open = line.find('(');
                if (open == std::string::npos ||
                    sscanf(line.c_str() + open + 1, "%u,%u,%u,%u,%u,%u", &h1, &h2, &h3, &h4, &p1,
                           &p2) != 6)
                    throw std::runtime_error("bad PASV reply");
                return Dial("127.0.0.1", static_cast<int>(p1 * 256 + p2));
            }
            char buf[1024];
            int n = recv(control, buf, sizeof buf, 0);
            if (n <= 0) throw std::runtime_error("control connection lost");
            input.append(buf, static_cast<std::size_t>(n));
        }
    }
};

long long RunRaw(bool get, int port, const char* user, const char* pass, const char* remote,
                 const wchar_t* local) {
    Raw r;
    r.control = Raw::Dial("127.0.0.1", port);
    r.Reply();
    r.Cmd(std::string("USER ") + user);
    r.Cmd(std::string("PASS ") + pass);
    r.Cmd("TYPE I");
    Mark(g_start);
    SOCKET data = r.Pasv();
    HANDLE f = CreateFileW(local, get ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ, nullptr,
                           get ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open the local file");
    static char buf[kChunk];
    long long total = 0;
    if (get) {
        r.Cmd(std::string("RETR ") + remote);
        int n;
        while ((n = recv(data, buf, kChunk, 0)) > 0) {
            DWORD w;
            WriteFile(f, buf, static_cast<DWORD>(n), &w, nullptr);
            total += n;
        }
    } else {
        r.Cmd(std::string("STOR ") + remote);
        DWORD got;
        while (ReadFile(f, buf, kChunk, &got, nullptr) && got > 0) {
            for (DWORD off = 0; off < got;) {
                int n = send(data, buf + off, static_cast<int>(got - off), 0);
                if (n <= 0) throw std::runtime_error("send failed");
                off += static_cast<DWORD>(n);
            }
            total += got;
        }
        shutdown(data, SD_SEND);
    }
    closesocket(data);
    CloseHandle(f);
    r.Reply();
    Mark(g_end);
    r.Cmd("QUIT");
    closesocket(r.control);
    return total;
}

long long RunClient(bool get, int port, const char* user, const char* pass, const char* remote,
                    const wchar_t* local) {
    FtpClient c;
    c.Host = L"127.0.0.1";
    c.Port = static_cast<std::uint16_t>(port);
    c.Username = Wide(user);
    c.Password = Wide(pass);
    // The time-outs as the transfer window sets them: the data connection's are the
    // socket's own.
    c.Passive = true;
    c.TransferType = ftBinary;
    c.ReadTimeout = 60000;
    c.TransferTimeout = 60000;
    long long total = 0;
    c.OnWork = [&total](FtpClient&, WorkMode, std::int64_t count) { total = count; };
    c.Connect();
    // A fetch is bounded by the size the server announces, as the transfer window's is.
    const std::int64_t size = get ? c.Size(Wide(remote)) : -1;
    Mark(g_start);
    if (get)
        c.Get(Wide(remote), local, true, false, size);
    else
        c.Put(local, Wide(remote));
    Mark(g_end);
    c.Disconnect();
    return total;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 8) {
        fprintf(stderr, "usage: bench_ftp client|raw get|put PORT USER PASSWORD REMOTE LOCAL\n");
        return 2;
    }
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    bool client = std::string(argv[1]) == "client";
    bool get = std::string(argv[2]) == "get";
    int port = atoi(argv[3]);
    std::wstring local = Wide(argv[7]);
    SIZE_T before = Memory().PagefileUsage;
    LARGE_INTEGER freq;
    QueryPerformanceFrequency(&freq);
    long long bytes = 0;
    try {
        bytes = client ? RunClient(get, port, argv[4], argv[5], argv[6], local.c_str())
                       : RunRaw(get, port, argv[4], argv[5], argv[6], local.c_str());
    } catch (const std::exception& e) {
        fprintf(stderr, "failed: %s\n", e.what());
        return 1;
    }
    PROCESS_MEMORY_COUNTERS m = Memory();
    double seconds = double(g_end.QuadPart - g_start.QuadPart) / double(freq.QuadPart);
    printf("bytes=%lld seconds=%.3f peak_private=%llu peak_ws=%llu growth=%lld\n", bytes, seconds,
           static_cast<unsigned long long>(m.PeakPagefileUsage),
           static_cast<unsigned long long>(m.PeakWorkingSetSize),
           static_cast<long long>(m.PeakPagefileUsage) - static_cast<long long>(before));
    return 0;
}
