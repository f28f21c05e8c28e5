// Benchmark of the packing window against the floor of the platform library: packs and
// unpacks with CCompres/DCompres (engine) or with a minimal program that calls Cabinet.dll's
// FCI/FDI directly with plain file callbacks (direct).
//
//   bench_pack engine|direct pack CAB FILE...
//   bench_pack engine|direct unpack CAB DEST
//   bench_pack zip ARCHIVE FILE / bench_pack unzip ARCHIVE DEST   (ZipFile, UnZipFile)
//
// Prints "seconds=<s> bytes=<size of the cabinet>" and the peak working set; for engine
// unpack also "extract_seconds" (the extraction run alone) and "total_seconds" (the whole
// DCompres with its fixed one-second pause); "seconds" is up to the end of the extraction.

#include <windows.h>

#include <fci.h>
#include <fcntl.h>
#include <fdi.h>
#include <psapi.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gui/Application.h"
#include "pack/Unv_MZip.h"
#include "pack/ZipFiles.h"
#include "util/DateTime.h"

namespace {

double Now() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

long long SizeOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &d)) return -1;
    return (static_cast<long long>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
}

std::string Ansi(const std::wstring& s) {
    return ToAnsi(s);
}

// The process's peak working set, as the platform counts it.
void PrintPeak() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        std::printf("peak_working_set=%llu\n",
                    static_cast<unsigned long long>(counters.PeakWorkingSetSize));
}

// ---- The direct program: plain callbacks, no events, no display --------------------------

void* DIAMONDAPI Alloc(ULONG cb) {
    return std::malloc(cb);
}
void DIAMONDAPI Free(void* p) {
    std::free(p);
}

INT_PTR OpenPlain(const char* path, int oflag) {
    DWORD access = (oflag & 3) == 0   ? GENERIC_READ
                   : (oflag & 3) == 1 ? GENERIC_WRITE
                                      : GENERIC_READ | GENERIC_WRITE;
    DWORD disposition = (oflag & _O_CREAT) ? CREATE_ALWAYS : OPEN_EXISTING;
    HANDLE h = CreateFileA(path, access, FILE_SHARE_READ, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    return h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<INT_PTR>(h);
}
UINT ReadPlain(INT_PTR hf, void* buf, UINT cb) {
    DWORD n = 0;
    return ReadFile(reinterpret_cast<HANDLE>(hf), buf, cb, &n, nullptr) ? n : UINT(-1);
}
UINT WritePlain(INT_PTR hf, void* buf, UINT cb) {
    DWORD n = 0;
    return WriteFile(reinterpret_cast<HANDLE>(hf), buf, cb, &n, nullptr) ? n : UINT(-1);
}
int ClosePlain(INT_PTR hf) {
    return CloseHandle(reinterpret_cast<HANDLE>(hf)) ? 0 : -1;
}
LONG SeekPlain(INT_PTR hf, LONG d, int t) {
    return static_cast<LONG>(SetFilePointer(reinterpret_cast<HANDLE>(hf), d, nullptr, t));
}

INT_PTR DIAMONDAPI FOpen(char* p, int o, int, int*, void*) {
    return OpenPlain(p, o);
}
UINT DIAMONDAPI FRead(INT_PTR h, void* b, UINT n, int*, void*) {
    return ReadPlain(h, b, n);
}
UINT DIAMONDAPI FWrite(INT_PTR h, void* b, UINT n, int*, void*) {
    return WritePlain(h, b, n);
}
int DIAMONDAPI FClose(INT_PTR h, int*, void*) {
    return ClosePlain(h);
}
LONG DIAMONDAPI FSeek(INT_PTR h, LONG d, int t, int*, void*) {
    return SeekPlain(h, d, t);
}
int DIAMONDAPI FDelete(char* p, int*, void*) {
    return DeleteFileA(p) ? 0 : -1;
}
int DIAMONDAPI FPlaced(CCAB*, char*, LONG, BOOL, void*) {
    return 0;
}
BOOL DIAMONDAPI FTemp(char* name, int size, void*) {
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    char unique[MAX_PATH];
    if (!GetTempFileNameA(folder, "cab", 0, unique)) return FALSE;
    DeleteFileA(unique);
    if (static_cast<int>(std::strlen(unique)) >= size) return FALSE;
    std::strcpy(name, unique);
    return TRUE;
}
BOOL DIAMONDAPI FNext(CCAB*, ULONG, void*) {
    return FALSE;
}
LONG DIAMONDAPI FStatus(UINT, ULONG, ULONG, void*) {
    return 0;
}
INT_PTR DIAMONDAPI FOpenInfo(char* name, USHORT* date, USHORT* time, USHORT* attribs, int*, void*) {
    HANDLE h = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) return -1;
    BY_HANDLE_FILE_INFORMATION info;
    FILETIME local;
    GetFileInformationByHandle(h, &info);
    FileTimeToLocalFileTime(&info.ftLastWriteTime, &local);
    FileTimeToDosDateTime(&local, date, time);
    *attribs = static_cast<USHORT>(info.dwFileAttributes & 0x27);
    return reinterpret_cast<INT_PTR>(h);
}

INT_PTR DIAMONDAPI DOpen(char* p, int o, int) {
    return OpenPlain(p, o);
}
UINT DIAMONDAPI DRead(INT_PTR h, void* b, UINT n) {
    return ReadPlain(h, b, n);
}
UINT DIAMONDAPI DWrite(INT_PTR h, void* b, UINT n) {
    return WritePlain(h, b, n);
}
int DIAMONDAPI DClose(INT_PTR h) {
    return ClosePlain(h);
}
LONG DIAMONDAPI DSeek(INT_PTR h, LONG d, int t) {
    return SeekPlain(h, d, t);
}

std::string g_destination;
INT_PTR DIAMONDAPI DNotify(FDINOTIFICATIONTYPE type, FDINOTIFICATION* n) {
    if (type == fdintCOPY_FILE)
        return OpenPlain((g_destination + n->psz1).c_str(), _O_CREAT | _O_WRONLY);
    if (type == fdintCLOSE_FILE_INFO) {
        FILETIME local, utc;
        DosDateTimeToFileTime(n->date, n->time, &local);
        LocalFileTimeToFileTime(&local, &utc);
        SetFileTime(reinterpret_cast<HANDLE>(n->hf), nullptr, nullptr, &utc);
        ClosePlain(n->hf);
        return TRUE;
    }
    return 0;
}

HMODULE Library() {
    static HMODULE m = LoadLibraryW(L"cabinet.dll");
    return m;
}
template <class Fn>
Fn Entry(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(Library(), name)));
}

bool DirectPack(const std::wstring& cab, const std::vector<std::wstring>& files) {
    CCAB ccab{};
    ccab.cb = 0x7FFFFFFF;
    ccab.cbFolderThresh = 0x7FFFFFFF;
    ccab.iCab = 1;
    const std::string path = Ansi(cab);
    const std::size_t cut = path.find_last_of('\\') + 1;
    std::strcpy(ccab.szCab, path.substr(cut).c_str());
    std::strcpy(ccab.szCabPath, path.substr(0, cut).c_str());
    std::strcpy(ccab.szDisk, "DISK01");
    ERF erf{};
    HFCI fci =
        Entry<decltype(&::FCICreate)>("FCICreate")(&erf, FPlaced, Alloc, Free, FOpen, FRead, FWrite,
                                                   FClose, FSeek, FDelete, FTemp, &ccab, nullptr);
    bool ok = fci != nullptr;
    for (const auto& f : files) {
        std::string source = Ansi(f);
        std::string stored = source.substr(source.find_last_of('\\') + 1);
        ok = ok && Entry<decltype(&::FCIAddFile)>("FCIAddFile")(fci, source.data(), stored.data(),
                                                                FALSE, FNext, FStatus, FOpenInfo,
                                                                tcompTYPE_MSZIP);
    }
    ok = ok && Entry<decltype(&::FCIFlushCabinet)>("FCIFlushCabinet")(fci, FALSE, FNext, FStatus);
    if (fci) Entry<decltype(&::FCIDestroy)>("FCIDestroy")(fci);
    return ok;
}

bool DirectUnpack(const std::wstring& cab, const std::wstring& dest) {
    g_destination = Ansi(dest);
    if (g_destination.back() != '\\') g_destination += '\\';
    CreateDirectoryW(dest.c_str(), nullptr);
    ERF erf{};
    HFDI fdi = Entry<decltype(&::FDICreate)>("FDICreate")(Alloc, Free, DOpen, DRead, DWrite, DClose,
                                                          DSeek, cpuUNKNOWN, &erf);
    const std::string path = Ansi(cab);
    const std::size_t cut = path.find_last_of('\\') + 1;
    std::string name = path.substr(cut), folder = path.substr(0, cut);
    bool ok = fdi && Entry<decltype(&::FDICopy)>("FDICopy")(fdi, name.data(), folder.data(), 0,
                                                            DNotify, nullptr, nullptr);
    if (fdi) Entry<decltype(&::FDIDestroy)>("FDIDestroy")(fdi);
    return ok;
}

int Run(const std::vector<std::wstring>& a) {
    if (a.size() == 4 && (a[1] == L"zip" || a[1] == L"unzip")) {
        const double t0 = Now();
        const bool ok = a[1] == L"zip" ? ZipFile(a[2], a[3]) : UnZipFile(a[2], a[3]);
        std::printf("seconds=%.3f bytes=%lld\n", Now() - t0, SizeOf(a[2]));
        PrintPeak();
        return ok ? 0 : 1;
    }
    if (a.size() < 5) return 2;
    const bool engine = a[1] == L"engine";
    const std::wstring& cab = a[3];
    if (a[2] == L"pack") {
        std::vector<std::wstring> files(a.begin() + 4, a.end());
        const double t0 = Now();
        bool ok;
        if (engine) {
            TUnvFMZip window;
            ok = window.CCompres(files, cab) && window.CCompr.LastError() == 0;
        } else {
            ok = DirectPack(cab, files);
        }
        std::printf("seconds=%.3f bytes=%lld\n", Now() - t0, SizeOf(cab));
        PrintPeak();
        return ok ? 0 : 1;
    }
    const double t0 = Now();
    bool ok;
    if (engine) {
        TUnvFMZip window;
        double finished = 0, started = 0;
        auto start = window.DCompr.OnStart;
        window.DCompr.OnStart = [&](TCabComponent& s) {
            started = Now();
            start(s);
        };
        auto finish = window.DCompr.OnFinish;
        window.DCompr.OnFinish = [&](TCabComponent& s) {
            finished = Now();
            finish(s);
        };
        std::wstring first;
        ok = window.DCompres(cab, a[4], first) && window.DCompr.LastError() == 0;
        std::printf("seconds=%.3f extract_seconds=%.3f total_seconds=%.3f bytes=%lld\n",
                    finished - t0, finished - started, Now() - t0, SizeOf(cab));
    } else {
        ok = DirectUnpack(cab, a[4]);
        std::printf("seconds=%.3f bytes=%lld\n", Now() - t0, SizeOf(cab));
    }
    PrintPeak();
    return ok ? 0 : 1;
}

} // namespace

int main() {
    gui::Application::Instance().SetBackend(gui::Backend::Headless);
    FixStartupFormats(L':');
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::wstring> args(argv, argv + argc);
    LocalFree(argv);
    try {
        return Run(args);
    } catch (const Error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
