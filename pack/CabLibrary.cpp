#include "pack/CabLibrary.h"

#include <fcntl.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <utility>

#include "pack/CabComponent.h"
#include "util/pres.h"

namespace cab {

// ---- What the engine relies on, checked in every build ------------------------------------
// The shipped program is the 32-bit one, and it cannot run where it is built: its layouts
// and calling conventions are held here, against the values of Cabinet.dll's own builds
// (4-byte packing on 32-bit Windows, natural alignment on 64-bit).

// The structures the engine fills (CCAB) or reads (ERF, FDICABINETINFO, FDINOTIFICATION).
static_assert(sizeof(ERF) == 12 && offsetof(ERF, erfOper) == 0 && offsetof(ERF, erfType) == 4 &&
              offsetof(ERF, fError) == 8);
static_assert(sizeof(CCAB) == 804);
static_assert(offsetof(CCAB, cb) == 0 && offsetof(CCAB, cbFolderThresh) == 4 &&
              offsetof(CCAB, cbReserveCFHeader) == 8 && offsetof(CCAB, cbReserveCFFolder) == 12 &&
              offsetof(CCAB, cbReserveCFData) == 16 && offsetof(CCAB, iCab) == 20 &&
              offsetof(CCAB, iDisk) == 24 && offsetof(CCAB, fFailOnIncompressible) == 28 &&
              offsetof(CCAB, setID) == 32 && offsetof(CCAB, szDisk) == 34 &&
              offsetof(CCAB, szCab) == 290 && offsetof(CCAB, szCabPath) == 546);
static_assert(sizeof(FDICABINETINFO) == 24);
static_assert(offsetof(FDICABINETINFO, cbCabinet) == 0 && offsetof(FDICABINETINFO, cFolders) == 4 &&
              offsetof(FDICABINETINFO, cFiles) == 6 && offsetof(FDICABINETINFO, setID) == 8 &&
              offsetof(FDICABINETINFO, iCabinet) == 10 &&
              offsetof(FDICABINETINFO, fReserve) == 12 && offsetof(FDICABINETINFO, hasprev) == 16 &&
              offsetof(FDICABINETINFO, hasnext) == 20);
#ifdef _WIN64
static_assert(sizeof(FDINOTIFICATION) == 64);
static_assert(offsetof(FDINOTIFICATION, cb) == 0 && offsetof(FDINOTIFICATION, psz1) == 8 &&
              offsetof(FDINOTIFICATION, psz2) == 16 && offsetof(FDINOTIFICATION, psz3) == 24 &&
              offsetof(FDINOTIFICATION, pv) == 32 && offsetof(FDINOTIFICATION, hf) == 40 &&
              offsetof(FDINOTIFICATION, date) == 48 && offsetof(FDINOTIFICATION, time) == 50 &&
              offsetof(FDINOTIFICATION, attribs) == 52 && offsetof(FDINOTIFICATION, setID) == 54 &&
              offsetof(FDINOTIFICATION, iCabinet) == 56 &&
              offsetof(FDINOTIFICATION, iFolder) == 58 && offsetof(FDINOTIFICATION, fdie) == 60);
#else
static_assert(sizeof(FDINOTIFICATION) == 40);
static_assert(offsetof(FDINOTIFICATION, cb) == 0 && offsetof(FDINOTIFICATION, psz1) == 4 &&
              offsetof(FDINOTIFICATION, psz2) == 8 && offsetof(FDINOTIFICATION, psz3) == 12 &&
              offsetof(FDINOTIFICATION, pv) == 16 && offsetof(FDINOTIFICATION, hf) == 20 &&
              offsetof(FDINOTIFICATION, date) == 24 && offsetof(FDINOTIFICATION, time) == 26 &&
              offsetof(FDINOTIFICATION, attribs) == 28 && offsetof(FDINOTIFICATION, setID) == 30 &&
              offsetof(FDINOTIFICATION, iCabinet) == 32 &&
              offsetof(FDINOTIFICATION, iFolder) == 34 && offsetof(FDINOTIFICATION, fdie) == 36);
#endif

// A file handle travels through the library as an INT_PTR; sizes and dates as 32- and
// 16-bit values; the two enumerations as int.
static_assert(sizeof(INT_PTR) == sizeof(HANDLE) && sizeof(LONG) == 4 && sizeof(ULONG) == 4 &&
              sizeof(USHORT) == 2 && sizeof(TCOMP) == 2);
static_assert(sizeof(FDINOTIFICATIONTYPE) == sizeof(int) && sizeof(FDIERROR) == sizeof(int));

// The C calling convention: the headers' DIAMONDAPI is __cdecl, and on 32-bit x86 the
// compiler keeps calling conventions apart in function types, so a callback declared
// otherwise would not convert to the headers' pointer types.
static_assert(std::is_same_v<PFNALLOC, void*(__cdecl*)(ULONG)>);
static_assert(
    std::is_same_v<decltype(&::FDICopy),
                   BOOL(__cdecl*)(HFDI, char*, char*, int, PFNFDINOTIFY, PFNFDIDECRYPT, void*)>);
#ifndef _WIN64
static_assert(!std::is_convertible_v<void*(__stdcall*)(ULONG), PFNALLOC>);
#endif

// The callbacks of this unit have the headers' own types.
static_assert(std::is_same_v<decltype(&Alloc), PFNALLOC> &&
              std::is_same_v<decltype(&Alloc), PFNFCIALLOC> &&
              std::is_same_v<decltype(&Free), PFNFREE> &&
              std::is_same_v<decltype(&Free), PFNFCIFREE>);
static_assert(std::is_same_v<decltype(&FciOpen), PFNFCIOPEN> &&
              std::is_same_v<decltype(&FciRead), PFNFCIREAD> &&
              std::is_same_v<decltype(&FciWrite), PFNFCIWRITE> &&
              std::is_same_v<decltype(&FciClose), PFNFCICLOSE> &&
              std::is_same_v<decltype(&FciSeek), PFNFCISEEK> &&
              std::is_same_v<decltype(&FciDelete), PFNFCIDELETE> &&
              std::is_same_v<decltype(&FciTempFile), PFNFCIGETTEMPFILE>);
static_assert(std::is_same_v<decltype(&FdiOpen), PFNOPEN> &&
              std::is_same_v<decltype(&FdiRead), PFNREAD> &&
              std::is_same_v<decltype(&FdiWrite), PFNWRITE> &&
              std::is_same_v<decltype(&FdiClose), PFNCLOSE> &&
              std::is_same_v<decltype(&FdiSeek), PFNSEEK>);

// The open flags and seek types the library passes are those of Microsoft's C run-time.
static_assert(_O_RDONLY == 0 && _O_WRONLY == 1 && _O_RDWR == 2 && _O_CREAT == 0x0100 &&
              _O_TRUNC == 0x0200 && _O_EXCL == 0x0400);
static_assert(SEEK_SET == 0 && SEEK_CUR == 1 && SEEK_END == 2);

// ---- Loading --------------------------------------------------------------------------------

namespace {

// The system's text for an error code, its number when the system has none.
std::wstring Reason(DWORD code) {
    return SystemErrorMessage(code, (L"kod " + std::to_wstring(code)).c_str());
}

class LoadedLibrary {
public:
    LoadedLibrary() {
        // A missing library must not raise the system's "file not found" box.
        DWORD oldMode = 0;
        SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
        wchar_t system[MAX_PATH];
        UINT n = GetSystemDirectoryW(system, MAX_PATH);
        // Only the system's copy: a Cabinet.dll beside the executable is never picked up.
        std::wstring path = (n > 0 && n < MAX_PATH) ? std::wstring(system, n) + L"\\Cabinet.dll"
                                                    : std::wstring(L"Cabinet.dll");
        module_ = LoadLibraryW(path.c_str());
        DWORD error = GetLastError();
        SetThreadErrorMode(oldMode, nullptr);
        if (!module_) {
            failure_ = L"Nie można załadować biblioteki Cabinet.dll: " + Reason(error);
            return;
        }
        bool ok = Find(api_.FCICreate, "FCICreate") && Find(api_.FCIAddFile, "FCIAddFile") &&
                  Find(api_.FCIFlushCabinet, "FCIFlushCabinet") &&
                  Find(api_.FCIDestroy, "FCIDestroy") && Find(api_.FDICreate, "FDICreate") &&
                  Find(api_.FDIIsCabinet, "FDIIsCabinet") && Find(api_.FDICopy, "FDICopy") &&
                  Find(api_.FDIDestroy, "FDIDestroy");
        if (!ok) {
            FreeLibrary(module_);
            module_ = nullptr;
        }
    }
    ~LoadedLibrary() {
        if (module_) FreeLibrary(module_);
    }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    const Api& Get() const {
        if (!module_) throw ECabError(failure_);
        return api_;
    }

private:
    template <class Fn>
    bool Find(Fn& fn, const char* name) {
        fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
        if (!fn)
            failure_ = L"Biblioteka Cabinet.dll nie udostępnia funkcji " + FromAnsi(name) + L": " +
                       Reason(GetLastError());
        return fn != nullptr;
    }

    HMODULE module_ = nullptr;
    Api api_;
    std::wstring failure_;
};

// Loaded once when the program starts, released when it ends.
const LoadedLibrary g_library;

} // namespace

const Api& Library() {
    return g_library.Get();
}

// ---- The names the library receives ---------------------------------------------------------

// A name holds "<" and ">", which no file name may hold, so it reaches no file but the one
// registered under it.
std::string RunFiles::Add(const std::wstring& path) {
    paths_.push_back(path);
    std::string name(1, '<');
    name += std::to_string(paths_.size());
    name += '>';
    return name;
}

bool RunFiles::PathOf(const char* name, std::wstring& path) const {
    const std::size_t n = std::strlen(name);
    if (n >= 3 && name[0] == '<' && name[n - 1] == '>') {
        std::size_t index = 0;
        bool digits = true;
        for (std::size_t i = 1; i + 1 < n && digits; ++i) {
            digits = name[i] >= '0' && name[i] <= '9' && index <= paths_.size();
            index = index * 10 + static_cast<std::size_t>(name[i] - '0');
        }
        if (digits && index >= 1 && index <= paths_.size()) {
            path = paths_[index - 1];
            return true;
        }
    }
    return FromAnsiExact(name, path);
}

namespace {

// The files of the running copy, for the FDI file callbacks (see FdiFilesScope).
thread_local RunFiles* t_fdiFiles = nullptr;

} // namespace

FdiFilesScope::FdiFilesScope(RunFiles& files) : outer_(std::exchange(t_fdiFiles, &files)) {}

FdiFilesScope::~FdiFilesScope() {
    t_fdiFiles = outer_;
}

// ---- Memory and files -----------------------------------------------------------------------

void* DIAMONDAPI Alloc(ULONG cb) {
    return std::calloc(1, cb ? cb : 1);
}

void DIAMONDAPI Free(void* memory) {
    std::free(memory);
}

namespace {

// The plain file calls behind both forms; files is null when no run is registered.
INT_PTR OpenFor(const RunFiles* files, const char* name, int oflag, int* err) {
    std::wstring path;
    if (!(files ? files->PathOf(name, path) : FromAnsiExact(name, path))) {
        if (err) *err = ERROR_INVALID_NAME;
        return -1;
    }
    DWORD access = GENERIC_READ;
    if ((oflag & _O_ACCMODE) == _O_WRONLY) access = GENERIC_WRITE;
    if ((oflag & _O_ACCMODE) == _O_RDWR) access = GENERIC_READ | GENERIC_WRITE;
    // A create opens a new file or truncates an existing one.
    DWORD disposition = OPEN_EXISTING;
    if (oflag & _O_CREAT)
        disposition = (oflag & _O_EXCL) ? CREATE_NEW : CREATE_ALWAYS;
    else if (oflag & _O_TRUNC)
        disposition = TRUNCATE_EXISTING;
    HANDLE h = CreateFileW(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        if (err) *err = static_cast<int>(GetLastError());
        return -1;
    }
    return reinterpret_cast<INT_PTR>(h);
}

UINT ReadFrom(INT_PTR hf, void* buffer, UINT cb, int* err) {
    DWORD got = 0;
    if (!ReadFile(AsHandle(hf), buffer, cb, &got, nullptr)) {
        if (err) *err = static_cast<int>(GetLastError());
        return static_cast<UINT>(-1);
    }
    return got;
}

UINT WriteTo(INT_PTR hf, void* buffer, UINT cb, int* err) {
    DWORD put = 0;
    if (!WriteFile(AsHandle(hf), buffer, cb, &put, nullptr)) {
        if (err) *err = static_cast<int>(GetLastError());
        return static_cast<UINT>(-1);
    }
    return put;
}

int CloseFor(RunFiles* files, INT_PTR hf, int* err) {
    if (files && files->handedOut == hf) {
        files->handedOut = -1;
        files->closedByLibrary = true;
    }
    if (!CloseHandle(AsHandle(hf))) {
        if (err) *err = static_cast<int>(GetLastError());
        return -1;
    }
    return 0;
}

LONG SeekIn(INT_PTR hf, LONG distance, int seekType, int* err) {
    DWORD method = seekType == SEEK_CUR   ? FILE_CURRENT
                   : seekType == SEEK_END ? FILE_END
                                          : FILE_BEGIN;
    LARGE_INTEGER move, now;
    move.QuadPart = distance;
    if (!SetFilePointerEx(AsHandle(hf), move, &now, method)) {
        if (err) *err = static_cast<int>(GetLastError());
        return -1;
    }
    return static_cast<LONG>(now.QuadPart);
}

} // namespace

INT_PTR DIAMONDAPI FciOpen(char* name, int oflag, int, int* err, void* pv) {
    return OpenFor(&RunFiles::Of(pv), name, oflag, err);
}

UINT DIAMONDAPI FciRead(INT_PTR hf, void* memory, UINT cb, int* err, void*) {
    return ReadFrom(hf, memory, cb, err);
}

UINT DIAMONDAPI FciWrite(INT_PTR hf, void* memory, UINT cb, int* err, void*) {
    return WriteTo(hf, memory, cb, err);
}

int DIAMONDAPI FciClose(INT_PTR hf, int* err, void* pv) {
    return CloseFor(&RunFiles::Of(pv), hf, err);
}

LONG DIAMONDAPI FciSeek(INT_PTR hf, LONG dist, int seekType, int* err, void*) {
    return SeekIn(hf, dist, seekType, err);
}

int DIAMONDAPI FciDelete(char* name, int* err, void* pv) {
    std::wstring path;
    if (RunFiles::Of(pv).PathOf(name, path) && DeleteFileW(path.c_str())) return 0;
    *err = path.empty() ? ERROR_INVALID_NAME : static_cast<int>(GetLastError());
    return -1;
}

BOOL DIAMONDAPI FciTempFile(char* name, int size, void* pv) {
    wchar_t folder[MAX_PATH + 1];
    wchar_t unique[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH, folder);
    if (n == 0 || n > MAX_PATH || !GetTempFileNameW(folder, L"cab", 0, unique)) return FALSE;
    // The library creates the file itself; the empty one made here only reserved the name.
    DeleteFileW(unique);
    const std::string token = RunFiles::Of(pv).Add(unique);
    if (static_cast<int>(token.size()) >= size) return FALSE;
    std::memcpy(name, token.c_str(), token.size() + 1);
    return TRUE;
}

INT_PTR DIAMONDAPI FdiOpen(char* name, int oflag, int) {
    return OpenFor(t_fdiFiles, name, oflag, nullptr);
}

UINT DIAMONDAPI FdiRead(INT_PTR hf, void* memory, UINT cb) {
    return ReadFrom(hf, memory, cb, nullptr);
}

UINT DIAMONDAPI FdiWrite(INT_PTR hf, void* memory, UINT cb) {
    return WriteTo(hf, memory, cb, nullptr);
}

int DIAMONDAPI FdiClose(INT_PTR hf) {
    return CloseFor(t_fdiFiles, hf, nullptr);
}

LONG DIAMONDAPI FdiSeek(INT_PTR hf, LONG dist, int seekType) {
    return SeekIn(hf, dist, seekType, nullptr);
}

} // namespace cab
