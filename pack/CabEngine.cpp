#include "pack/CabEngine.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "gui/Application.h"
#include "pack/CabinetApi.h"
#include "pack/DosTime.h"
#include "pack/SafeNames.h"

// ---- Text and path helpers -------------------------------------------------------------

AnsiString ToAnsi(const std::wstring& text) {
    if (text.empty()) return {};
    int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    AnsiString out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

std::wstring FromAnsi(const AnsiString& text) {
    if (text.empty()) return {};
    int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

bool ToAnsiExact(const std::wstring& text, AnsiString& out) {
    out.clear();
    if (text.empty()) return true;
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(),
                                static_cast<int>(text.size()), nullptr, 0, nullptr, &usedDefault);
    if (n <= 0 || usedDefault) return false;
    out.assign(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                        out.data(), n, nullptr, &usedDefault);
    // A code page may still map a character onto one that reads back differently.
    std::wstring back;
    return !usedDefault && FromAnsiExact(out, back) && back == text;
}

bool FromAnsiExact(const AnsiString& text, std::wstring& out) {
    out.clear();
    if (text.empty()) return true;
    int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(),
                                static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return false;
    out.assign(static_cast<std::size_t>(n), L'\0');
    return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(),
                               static_cast<int>(text.size()), out.data(), n) == n;
}

namespace {

// Strict UTF-8: false for bytes that are no UTF-8 (no substitute characters).
bool FromUtf8Exact(const std::string& text, std::wstring& out) {
    out.clear();
    if (text.empty()) return true;
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return false;
    out.assign(static_cast<std::size_t>(n), L'\0');
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                               static_cast<int>(text.size()), out.data(), n) == n;
}

std::string ToUtf8Bytes(const std::wstring& text) {
    if (text.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

// Split at the last "\" or ":".
std::size_t NamePartStart(const std::string& path) {
    std::size_t p = path.find_last_of("\\:");
    return p == std::string::npos ? 0 : p + 1;
}
std::size_t NamePartStart(const std::wstring& path) {
    std::size_t p = path.find_last_of(L"\\:");
    return p == std::wstring::npos ? 0 : p + 1;
}
template <class Text>
Text FolderPart(const Text& path) {
    return path.substr(0, NamePartStart(path));
}
template <class Text>
Text NamePart(const Text& path) {
    return path.substr(NamePartStart(path));
}

std::wstring SystemErrorText(DWORD code) {
    wchar_t* buffer = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = n ? std::wstring(buffer, n) : L"kod " + std::to_wstring(code);
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    return text;
}

// Days from 1899-12-30 to the given civil date (proleptic Gregorian).
double DaysFromEpoch(int year, int month, int day) {
    year -= month <= 2;
    const int era = (year >= 0 ? year : year - 399) / 400;
    const int yoe = year - era * 400;
    const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long long days1970 = static_cast<long long>(era) * 146097 + doe - 719468;
    return static_cast<double>(days1970 + 25569);
}

TDateTime ToDateTime(int year, int month, int day, int hour, int minute, int second) {
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59)
        return 0;
    return DaysFromEpoch(year, month, day) + (hour * 3600 + minute * 60 + second) / 86400.0;
}

// The stored DOS date and time; 0 for a pair that names no valid moment.
TDateTime DosToDateTime(std::uint16_t date, std::uint16_t time) {
    return ToDateTime(1980 + (date >> 9), (date >> 5) & 15, date & 31, time >> 11, (time >> 5) & 63,
                      (time & 31) * 2);
}

TDateTime FileTimeToLocalDateTime(const FILETIME& utc) {
    SYSTEMTIME st;
    if (!FileTimeToLocalSystemTime(utc, st)) return 0;
    return ToDateTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
}

bool FolderExists(const std::wstring& path) {
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileExistsAt(const std::wstring& path) {
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

// Creates the folder with every missing parent; false when it still does not exist.
bool ForceFolders(std::wstring path) {
    while (!path.empty() && (path.back() == L'\\' || path.back() == L'/'))
        path.pop_back();
    if (path.empty() || FolderExists(path)) return true;
    std::size_t cut = path.find_last_of(L"\\/");
    if (cut != std::wstring::npos && cut > 0 && path[cut - 1] != L':' &&
        !ForceFolders(path.substr(0, cut)))
        return false;
    return CreateDirectoryW(path.c_str(), nullptr) || FolderExists(path);
}

bool IsBlank(const std::wstring& text) {
    return text.find_first_not_of(L' ') == std::wstring::npos;
}

// Set in the attributes of a stored name that is UTF-8 rather than the ANSI code page.
constexpr std::uint16_t kNameIsUtf8 = 0x80;

// ---- The platform library ---------------------------------------------------------------

class LoadedCabinet {
public:
    LoadedCabinet() {
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
            failure_ = L"Nie można załadować biblioteki Cabinet.dll: " + SystemErrorText(error);
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
    ~LoadedCabinet() {
        if (module_) FreeLibrary(module_);
    }
    LoadedCabinet(const LoadedCabinet&) = delete;
    LoadedCabinet& operator=(const LoadedCabinet&) = delete;

    const cabapi::Library& Api() const {
        if (!module_) throw ECabError(failure_);
        return api_;
    }

private:
    template <class Fn>
    bool Find(Fn& fn, const char* name) {
        fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
        if (!fn)
            failure_ = L"Biblioteka Cabinet.dll nie udostępnia funkcji " + FromAnsi(name) + L": " +
                       SystemErrorText(GetLastError());
        return fn != nullptr;
    }

    HMODULE module_ = nullptr;
    cabapi::Library api_;
    std::wstring failure_;
};

// Loaded once when the program starts, released when it ends.
const LoadedCabinet g_cabinet;

// ---- File callbacks shared by both interfaces ---------------------------------------------

HANDLE AsHandle(INT_PTR hf) {
    return reinterpret_cast<HANDLE>(hf);
}

// The names the cabinet library receives in place of paths. A name holds "<" and ">", which
// no file name may hold, so it reaches no file but the one registered under it: the path
// never passes through the code page.
class LibraryNames {
public:
    AnsiString Add(const std::wstring& path) {
        paths_.push_back(path);
        AnsiString name(1, '<');
        name += std::to_string(paths_.size());
        name += '>';
        return name;
    }
    // The path registered under name; false for any other text.
    bool Find(const char* name, std::wstring& path) const {
        const std::size_t n = std::strlen(name);
        if (n < 3 || name[0] != '<' || name[n - 1] != '>') return false;
        std::size_t index = 0;
        for (std::size_t i = 1; i + 1 < n; ++i) {
            if (name[i] < '0' || name[i] > '9' || index > paths_.size()) return false;
            index = index * 10 + static_cast<std::size_t>(name[i] - '0');
        }
        if (index == 0 || index > paths_.size()) return false;
        path = paths_[index - 1];
        return true;
    }

private:
    std::vector<std::wstring> paths_;
};

// The names of the running compression or copy; an outer run's are put back afterwards.
thread_local LibraryNames* t_names = nullptr;

class NamesScope {
public:
    NamesScope() : outer_(std::exchange(t_names, &names_)) {}
    ~NamesScope() { t_names = outer_; }
    NamesScope(const NamesScope&) = delete;
    NamesScope& operator=(const NamesScope&) = delete;
    AnsiString Add(const std::wstring& path) { return names_.Add(path); }

private:
    LibraryNames names_;
    LibraryNames* outer_;
};

// The path a name from the library stands for: a registered one, or an 8-bit path that
// converts without loss; false for any other.
bool PathOf(const char* name, std::wstring& path) {
    if (t_names && t_names->Find(name, path)) return true;
    return FromAnsiExact(name, path);
}

INT_PTR OpenFor(const char* name, int oflag, int* err) {
    std::wstring path;
    if (!PathOf(name, path)) {
        if (err) *err = ERROR_INVALID_NAME;
        return -1;
    }
    DWORD access = GENERIC_READ;
    if ((oflag & cabapi::kOpenAccessMask) == cabapi::kOpenWriteOnly) access = GENERIC_WRITE;
    if ((oflag & cabapi::kOpenAccessMask) == cabapi::kOpenReadWrite)
        access = GENERIC_READ | GENERIC_WRITE;
    // A create opens a new file or truncates an existing one.
    DWORD disposition = OPEN_EXISTING;
    if (oflag & cabapi::kOpenCreate)
        disposition = (oflag & cabapi::kOpenExclusive) ? CREATE_NEW : CREATE_ALWAYS;
    else if (oflag & cabapi::kOpenTruncate)
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

int CloseIt(INT_PTR hf, int* err) {
    if (!CloseHandle(AsHandle(hf))) {
        if (err) *err = static_cast<int>(GetLastError());
        return -1;
    }
    return 0;
}

LONG SeekIn(INT_PTR hf, LONG distance, int seekType, int* err) {
    DWORD method = seekType == 1 ? FILE_CURRENT : seekType == 2 ? FILE_END : FILE_BEGIN;
    LARGE_INTEGER move, now;
    move.QuadPart = distance;
    if (!SetFilePointerEx(AsHandle(hf), move, &now, method)) {
        if (err) *err = static_cast<int>(GetLastError());
        return -1;
    }
    return static_cast<LONG>(now.QuadPart);
}

void* CABAPI_CALL MemAlloc(ULONG cb) {
    return std::calloc(1, cb ? cb : 1);
}
void CABAPI_CALL MemFree(void* memory) {
    std::free(memory);
}

// The target file being written by the running copy; one that is still open when the copy
// ends was cut short, and is removed rather than left corrupt.
struct OpenTarget {
    INT_PTR handle = 0;
    std::wstring path;
    bool cutShort = false;
    std::int64_t size = 0; // the stored size
};
thread_local OpenTarget* t_openTarget = nullptr;

// The FDI forms carry no error out-parameter and no context.
INT_PTR CABAPI_CALL FdiOpen(char* path, int oflag, int) {
    return OpenFor(path, oflag, nullptr);
}
UINT CABAPI_CALL FdiRead(INT_PTR hf, void* pv, UINT cb) {
    return ReadFrom(hf, pv, cb, nullptr);
}
UINT CABAPI_CALL FdiWrite(INT_PTR hf, void* pv, UINT cb) {
    return WriteTo(hf, pv, cb, nullptr);
}
int CABAPI_CALL FdiClose(INT_PTR hf) {
    // The library closes a target itself only when its copy failed.
    if (t_openTarget && t_openTarget->handle == hf) {
        t_openTarget->handle = 0;
        t_openTarget->cutShort = true;
    }
    return CloseIt(hf, nullptr);
}
LONG CABAPI_CALL FdiSeek(INT_PTR hf, LONG dist, int type) {
    return SeekIn(hf, dist, type, nullptr);
}

// A decompression context, released on every path.
class FdiContext {
public:
    explicit FdiContext(const cabapi::Library& api) : api_(api) {
        handle_ = api_.FDICreate(MemAlloc, MemFree, FdiOpen, FdiRead, FdiWrite, FdiClose, FdiSeek,
                                 cabapi::kCpuUnknown, &erf_);
    }
    ~FdiContext() {
        if (handle_) api_.FDIDestroy(handle_);
    }
    FdiContext(const FdiContext&) = delete;
    FdiContext& operator=(const FdiContext&) = delete;
    cabapi::HFDI Handle() const { return handle_; }
    const cabapi::ERF& Erf() const { return erf_; }
    void Release() {
        if (handle_) api_.FDIDestroy(handle_);
        handle_ = nullptr;
    }

private:
    const cabapi::Library& api_;
    cabapi::ERF erf_{};
    cabapi::HFDI handle_ = nullptr;
};

// The cabinet information of the file at path; false when it is none.
bool ReadCabinetInfo(const std::wstring& path, cabapi::FDICABINETINFO& info) {
    const cabapi::Library& api = g_cabinet.Api();
    if (!FileExistsAt(path)) return false;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool yes = false;
    {
        FdiContext fdi(api);
        if (fdi.Handle())
            yes = api.FDIIsCabinet(fdi.Handle(), reinterpret_cast<INT_PTR>(h), &info) != FALSE;
    }
    // The links to other cabinets are taken from the header's flags as well: not every
    // library reports them.
    unsigned char header[36];
    DWORD got = 0;
    if (yes && SetFilePointer(h, 0, nullptr, FILE_BEGIN) == 0 &&
        ReadFile(h, header, sizeof header, &got, nullptr) && got == sizeof header &&
        std::memcmp(header, "MSCF", 4) == 0) {
        const unsigned flags = header[30] | (header[31] << 8);
        if (flags & 0x0001) info.hasprev = TRUE;
        if (flags & 0x0002) info.hasnext = TRUE;
    }
    CloseHandle(h);
    return yes;
}

const wchar_t* const kCompressorTexts[] = {L"No error",
                                           L"Error opening source file",
                                           L"Error reading from source file",
                                           L"Out of memory",
                                           L"TempFile could not be created",
                                           L"Unknown compression type",
                                           L"Cabinet file could bot be created",
                                           L"Operation aborted by user",
                                           L"Compression error"};

const wchar_t* const kExtractorTexts[] = {L"No error",
                                          L"Cabinet file not found",
                                          L"File not in CAB format",
                                          L"Unknown CAB file version",
                                          L"Cabinet file is corrupt",
                                          L"Out of memory",
                                          L"Unknown compression type",
                                          L"Decompression error",
                                          L"Error writing to destination file",
                                          L"Reserve size mismatch",
                                          L"Incorrect CAB returned",
                                          L"Operation aborted by user"};

template <std::size_t N>
std::wstring TextOf(const wchar_t* const (&table)[N], std::uint16_t code) {
    return code < N ? table[code] : L"Unknown error code";
}

} // namespace

// ---- Items --------------------------------------------------------------------------------

AnsiString TCabItem::ShortFileName() const {
    return NamePart(FileName);
}

TCabItem& TCabItemList::operator[](int index) const {
    if (index < 0 || index >= Count())
        throw ERangeError(L"Indeks elementu archiwum poza zakresem (" + std::to_wstring(index) +
                          L")");
    return *items_[static_cast<std::size_t>(index)];
}

TCabItem& TCabItemList::Add() {
    items_.push_back(std::make_unique<TCabItem>());
    return *items_.back();
}

void TCabItemList::Clear() {
    SingleItem = nullptr;
    items_.clear();
}

TCabItem* TCabItemList::Find(const AnsiString& name) const {
    for (const auto& item : items_)
        if (item->FileName == name) return item.get();
    return nullptr;
}

// ---- Common component -------------------------------------------------------------------

void TCabComponent::RecordError(std::uint16_t code) {
    lastError_ = code;
    if (OnError) OnError(*this, code);
    if (RaiseExceptions) throw ECabError(ErrorText(code));
}

void TCabComponent::RaiseStart() {
    if (OnStart) OnStart(*this);
}

void TCabComponent::RaiseFinish() {
    if (OnFinish) OnFinish(*this);
}

void TCabComponent::RaiseProgress(const AnsiString& fileName, std::int64_t fileSize,
                                  std::int64_t cabSize) {
    if (OnProgress) OnProgress(*this, fileName, currentIndex_, fileSize, cabSize);
}

// ---- Compressor ---------------------------------------------------------------------------

namespace {

// A source file open for reading, with the DOS date, time and attributes the library stores.
struct SourceFile {
    INT_PTR handle = -1;
    USHORT date = 0, time = 0, attributes = 0;
    DWORD error = 0;
    // The handle given to the library until it closes it; an add that the library abandons
    // leaves it open.
    INT_PTR handedOut = -1;
    std::wstring path;
    // The stored name is UTF-8, since the code page cannot hold it.
    bool utf8Name = false;
};

// The source opened ahead of the library's add: a source the library cannot open leaves its
// context unable to complete the cabinet, so such a source never reaches it.
thread_local SourceFile* t_source = nullptr;

bool OpenSource(const std::wstring& path, SourceFile& out) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        out.error = GetLastError();
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info) ||
        !FileTimeToLocalDos(info.ftLastWriteTime, out.date, out.time)) {
        out.error = GetLastError();
        CloseHandle(h);
        return false;
    }
    out.attributes = static_cast<USHORT>(info.dwFileAttributes &
                                         (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                          FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE));
    out.handle = reinterpret_cast<INT_PTR>(h);
    return true;
}

} // namespace

struct TCabCompressor::Callbacks {
    static TCabCompressor& Self(void* pv) { return *static_cast<TCabCompressor*>(pv); }

    static int CABAPI_CALL FilePlaced(cabapi::CCAB*, char*, LONG, BOOL, void*) { return 0; }
    static INT_PTR CABAPI_CALL Open(char* path, int oflag, int, int* err, void*) {
        return OpenFor(path, oflag, err);
    }
    static UINT CABAPI_CALL Read(INT_PTR hf, void* memory, UINT cb, int* err, void*) {
        return ReadFrom(hf, memory, cb, err);
    }
    static UINT CABAPI_CALL Write(INT_PTR hf, void* memory, UINT cb, int* err, void*) {
        return WriteTo(hf, memory, cb, err);
    }
    static int CABAPI_CALL Close(INT_PTR hf, int* err, void*) {
        if (t_source && t_source->handedOut == hf) t_source->handedOut = -1;
        return CloseIt(hf, err);
    }
    static LONG CABAPI_CALL Seek(INT_PTR hf, LONG dist, int type, int* err, void*) {
        return SeekIn(hf, dist, type, err);
    }
    static int CABAPI_CALL Delete(char* name, int* err, void*) {
        std::wstring path;
        if (PathOf(name, path) && DeleteFileW(path.c_str())) return 0;
        *err = path.empty() ? ERROR_INVALID_NAME : static_cast<int>(GetLastError());
        return -1;
    }
    static BOOL CABAPI_CALL TempFile(char* name, int size, void*) {
        wchar_t folder[MAX_PATH + 1];
        wchar_t unique[MAX_PATH + 1];
        DWORD n = GetTempPathW(MAX_PATH, folder);
        if (n == 0 || n > MAX_PATH || !GetTempFileNameW(folder, L"cab", 0, unique)) return FALSE;
        // The library creates the file itself; the empty one made here only reserved the name.
        DeleteFileW(unique);
        if (!t_names) return FALSE;
        const AnsiString token = t_names->Add(unique);
        if (static_cast<int>(token.size()) >= size) return FALSE;
        std::memcpy(name, token.c_str(), token.size() + 1);
        return TRUE;
    }
    static BOOL CABAPI_CALL NextCabinet(cabapi::CCAB*, ULONG, void*) { return FALSE; }

    static LONG CABAPI_CALL Status(UINT type, ULONG cb1, ULONG cb2, void* pv) {
        if (type != cabapi::statusFile) return 0;
        TCabCompressor& self = Self(pv);
        try {
            self.compressedFileSize_ += cb1;
            self.sourceFileSize_ += cb2;
            const int i = self.currentIndex_;
            AnsiString name = (i >= 0 && i < self.Items.Count()) ? self.Items[i].FileName : "";
            self.RaiseProgress(name, self.sourceFileSize_, self.compressedFileSize_);
            return 0;
        } catch (...) {
            self.pendingFailure_ = std::current_exception();
            return -1;
        }
    }

    // Hands the library the source opened before its add.
    static INT_PTR CABAPI_CALL OpenInfo(char* name, USHORT* date, USHORT* time, USHORT* attributes,
                                        int* err, void*) {
        SourceFile source;
        std::wstring path;
        if (t_source && t_source->handle != -1) {
            source = std::exchange(*t_source, SourceFile{});
            t_source->handedOut = source.handle;
            t_source->path = source.path;
            t_source->utf8Name = source.utf8Name;
        } else if (!PathOf(name, path) || !OpenSource(path, source)) {
            *err = path.empty() ? ERROR_INVALID_NAME : static_cast<int>(source.error);
            return -1;
        } else if (t_source) {
            source.utf8Name = t_source->utf8Name;
        }
        *date = source.date;
        *time = source.time;
        *attributes = static_cast<USHORT>(source.attributes | (source.utf8Name ? kNameIsUtf8 : 0));
        return source.handle;
    }
};

void TCabCompressor::AddFile(const AnsiString& sourceName, const AnsiString& destPath) {
    std::wstring wide;
    if (!FromAnsiExact(sourceName, wide)) wide.clear();
    AddItem(sourceName, wide, destPath);
}

void TCabCompressor::AddFile(const std::wstring& sourceName, const AnsiString& destPath) {
    AddItem(ToAnsi(sourceName), sourceName, destPath);
}

void TCabCompressor::AddItem(const AnsiString& sourceName, const std::wstring& wideName,
                             const AnsiString& destPath) {
    TCabItem& item = Items.Add();
    item.FileName = sourceName;
    item.WideFileName = wideName;
    item.DestinationPath = destPath;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!wideName.empty() && GetFileAttributesExW(wideName.c_str(), GetFileExInfoStandard, &data) &&
        !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        item.FileSize = (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        item.FileDate = FileTimeToLocalDateTime(data.ftLastWriteTime);
    }
}

namespace {

std::wstring FullPath(const std::wstring& path) {
    if (path.empty()) return path;
    DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::wstring out(n, L'\0');
    n = GetFullPathNameW(path.c_str(), n, out.data(), nullptr);
    out.resize(n);
    return out;
}

// The size of the file at path, -1 when there is no file (or a folder).
std::int64_t SizeOfFile(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return -1;
    return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool CopyInto(char (&target)[256], const AnsiString& text) {
    if (text.size() >= sizeof target) return false;
    std::memcpy(target, text.c_str(), text.size() + 1);
    return true;
}

} // namespace

std::int64_t TCabCompressor::OriginalFileSize() {
    std::int64_t sum = 0;
    for (int i = 0; i < Items.Count(); ++i) {
        TCabItem& item = Items[i];
        item.FileSize = item.WideFileName.empty() ? -1 : SizeOfFile(FullPath(item.WideFileName));
        if (item.FileSize >= 0) sum += item.FileSize;
    }
    return sum;
}

std::wstring TCabCompressor::ErrorText(std::uint16_t code) const {
    return TextOf(kCompressorTexts, code);
}

std::uint16_t TCabCompressor::CompressionCode() const {
    switch (CompressionType) {
    case cctNone:
        return cabapi::tcompTYPE_NONE;
    case cctLZX:
        return static_cast<std::uint16_t>(((15 + CompressionLZXLevel) << 8) |
                                          cabapi::tcompTYPE_LZX);
    case cctMSZIP:
    default:
        return cabapi::tcompTYPE_MSZIP;
    }
}

bool TCabCompressor::Compress() {
    lastError_ = 0;
    sourceFileSize_ = 0;
    compressedFileSize_ = 0;
    pendingFailure_ = nullptr;
    const cabapi::Library& api = g_cabinet.Api();

    cabapi::CCAB ccab{};
    ccab.cb = 0x7FFFFFFF;
    ccab.cbFolderThresh = 0x7FFFFFFF;
    ccab.iCab = 1;
    ccab.iDisk = 0;
    ccab.setID = 0;
    ccab.fFailOnIncompressible = FALSE;
    CopyInto(ccab.szDisk, "DISK01");
    // The library opens the cabinet, and its temporary files, only under names of the run.
    NamesScope names;
    if (!CopyInto(ccab.szCab, names.Add(FileName)) || !CopyInto(ccab.szCabPath, "")) {
        RecordError(cabapi::FCIERR_CAB_FILE);
        return false;
    }

    cabapi::ERF erf{};
    cabapi::HFCI fci =
        api.FCICreate(&erf, Callbacks::FilePlaced, MemAlloc, MemFree, Callbacks::Open,
                      Callbacks::Read, Callbacks::Write, Callbacks::Close, Callbacks::Seek,
                      Callbacks::Delete, Callbacks::TempFile, &ccab, this);
    bool result = false;
    std::exception_ptr failure;
    try {
        RaiseStart();
        const std::uint16_t code = CompressionCode();
        if (!fci) {
            // Without a context the library is never called: its error is all there is to tell.
            RecordError(
                static_cast<std::uint16_t>(erf.erfOper ? erf.erfOper : cabapi::FCIERR_ALLOC_FAIL));
        } else {
            for (int i = 0; i < Items.Count(); ++i) {
                gui::Application::Instance().ProcessMessages();
                const TCabItem& item = Items[i];
                currentIndex_ = i;
                SourceFile opened;
                opened.path = FullPath(item.WideFileName);
                // The stored name in the code page when it holds it exactly, else in UTF-8
                // with the flag that says so.
                AnsiString stored;
                const std::wstring name = NamePart(item.WideFileName);
                std::wstring prefix;
                if (ToAnsiExact(name, stored)) {
                    stored = item.DestinationPath + stored;
                } else if (FromAnsiExact(item.DestinationPath, prefix)) {
                    stored = ToUtf8Bytes(prefix + name);
                    opened.utf8Name = true;
                } else {
                    opened.path.clear();
                }
                if (opened.path.empty() || !OpenSource(opened.path, opened)) {
                    RecordError(cabapi::FCIERR_OPEN_SRC);
                    continue;
                }
                AnsiString source = names.Add(opened.path);
                erf = {};
                SourceFile* const outer = std::exchange(t_source, &opened);
                BOOL added =
                    api.FCIAddFile(fci, source.data(), stored.data(), FALSE, Callbacks::NextCabinet,
                                   Callbacks::Status, Callbacks::OpenInfo, code);
                t_source = outer;
                if (opened.handle != -1) CloseHandle(AsHandle(opened.handle));
                if (opened.handedOut != -1) CloseHandle(AsHandle(opened.handedOut));
                if (pendingFailure_)
                    std::rethrow_exception(std::exchange(pendingFailure_, nullptr));
                if (!added) RecordError(static_cast<std::uint16_t>(erf.erfOper));
            }
            erf = {};
            BOOL flushed =
                api.FCIFlushCabinet(fci, FALSE, Callbacks::NextCabinet, Callbacks::Status);
            if (pendingFailure_) std::rethrow_exception(std::exchange(pendingFailure_, nullptr));
            if (flushed)
                result = true;
            else
                RecordError(static_cast<std::uint16_t>(erf.erfOper));
        }
    } catch (...) {
        failure = std::current_exception();
    }
    if (fci) api.FCIDestroy(fci);
    if (failure) {
        // The finish event still runs; the first failure is the one that passes on.
        try {
            RaiseFinish();
        } catch (...) {
        }
        std::rethrow_exception(failure);
    }
    RaiseFinish();
    return result;
}

// ---- Extractor ----------------------------------------------------------------------------

struct TCabExtractor::Callbacks {
    static INT_PTR CABAPI_CALL Notify(cabapi::FDINOTIFICATIONTYPE type,
                                      cabapi::FDINOTIFICATION* notice) {
        TCabExtractor& self = *static_cast<TCabExtractor*>(notice->pv);
        try {
            switch (type) {
            case cabapi::fdintCOPY_FILE:
                return self.CopyFileNotice(notice->psz1, notice->cb, notice->date, notice->time,
                                           notice->attribs);
            case cabapi::fdintCLOSE_FILE_INFO: {
                FILETIME utc;
                HANDLE h = AsHandle(notice->hf);
                // A file shorter than its stored size was cut short by a corrupt cabinet.
                LARGE_INTEGER written;
                if (t_openTarget && t_openTarget->handle == notice->hf &&
                    (!GetFileSizeEx(h, &written) || written.QuadPart != t_openTarget->size)) {
                    CloseHandle(h);
                    DeleteFileW(t_openTarget->path.c_str());
                    *t_openTarget = {};
                    self.abortCode_ = cabapi::FDIERROR_CORRUPT_CABINET;
                    return -1;
                }
                // The stored pair is local time, as the compressor wrote it.
                if (LocalDosToFileTime(notice->date, notice->time, utc))
                    SetFileTime(h, nullptr, nullptr, &utc);
                if (t_openTarget && t_openTarget->handle == notice->hf) *t_openTarget = {};
                CloseHandle(h);
                return TRUE;
            }
            default:
                return 0;
            }
        } catch (...) {
            self.pendingFailure_ = std::current_exception();
            return -1;
        }
    }
};

// Names stored as UTF-8 that share their form in the code page are told apart by their
// exact form.
bool TCabExtractor::WantsFile(const AnsiString& storedName, const std::wstring& wideName) const {
    switch (runMode_) {
    case 1:
        return Items.SingleItem && Items.SingleItem->FileName == storedName &&
               Items.SingleItem->WideFileName == wideName;
    case 2:
        for (int i = 0; i < Items.Count(); ++i) {
            const TCabItem& item = Items[i];
            if (item.FileName == storedName && item.WideFileName == wideName) return item.Selected;
        }
        return false;
    case 3:
        return true;
    default:
        return false;
    }
}

std::intptr_t TCabExtractor::CopyFileNotice(const char* storedBytes, std::int32_t size,
                                            std::uint16_t date, std::uint16_t time,
                                            std::uint16_t attributes) {
    // The stored name is decoded once, without loss; that one form is checked and written.
    const bool utf8 = (attributes & kNameIsUtf8) != 0;
    std::wstring wideName;
    const bool decoded =
        utf8 ? FromUtf8Exact(storedBytes, wideName) : FromAnsiExact(storedBytes, wideName);
    if (!decoded) wideName.clear();
    // The 8-bit form the items and events carry.
    const AnsiString storedName = !utf8     ? AnsiString(storedBytes)
                                  : decoded ? ToAnsi(wideName)
                                            : AnsiString(storedBytes);
    if (runMode_ == 0) {
        TCabItem& item = Items.Add();
        item.FileName = storedName;
        item.WideFileName = wideName;
        item.FileSize = size;
        item.DestinationPath = FolderPart(storedName);
        item.FileDate = DosToDateTime(date, time);
        return 0;
    }
    if (!WantsFile(storedName, wideName)) return 0;

    unpackedTotal_ += size;
    RaiseProgress(storedName, size, unpackedTotal_);
    ++currentIndex_;

    // A name that could leave the destination, or that has no exact form, is never written;
    // the run goes on.
    if (!decoded || !IsSafeStoredName(wideName)) {
        refused_ = true;
        RecordError(cabapi::FDIERROR_TARGET_FILE);
        return 0;
    }
    // Both separators name folders on the platform; the target paths use one.
    std::wstring relative = wideName;
    for (wchar_t& c : relative)
        if (c == L'/') c = L'\\';
    // A blank destination means the current folder.
    std::wstring destination = IsBlank(DestinationPath) ? FullPath(L".") : DestinationPath;
    if (destination.empty() || destination.back() != L'\\') destination += L'\\';
    std::wstring sub = FolderPart(relative);
    if (!sub.empty()) sub.pop_back();
    const std::wstring folder = destination + sub;
    if (!FolderExists(folder)) {
        bool cancel = !(Options & dcoForceDirectories);
        if (OnFolderRequired) OnFolderRequired(*this, ToAnsi(folder), cancel);
        if (cancel) return 0;
        ForceFolders(folder);
    }
    const std::wstring target = destination + relative;
    if (FileExistsAt(target)) {
        bool cancel = !(Options & dcoOverwriteFiles);
        if (OnFileExists) OnFileExists(*this, ToAnsi(target), cancel);
        if (cancel) return 0;
    }
    HANDLE h = CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        abortCode_ = cabapi::FDIERROR_TARGET_FILE;
        RecordError(cabapi::FDIERROR_TARGET_FILE);
        return -1;
    }
    if (t_openTarget) *t_openTarget = {reinterpret_cast<INT_PTR>(h), target, false, size};
    return reinterpret_cast<INT_PTR>(h);
}

void TCabExtractor::SetFileName(const std::wstring& path) {
    fileName_ = path;
    if (IsCabFile(path)) Run(0);
}

bool TCabExtractor::IsCabFile(const std::wstring& path) {
    cabapi::FDICABINETINFO info{};
    return ReadCabinetInfo(path, info);
}

bool TCabExtractor::IsMultiPart(const std::wstring& path) {
    cabapi::FDICABINETINFO info{};
    if (!ReadCabinetInfo(path, info)) return false;
    // Only the links make a set: the cabinet number alone does not (the library stores the
    // number 1 the compressor gives it in every single cabinet).
    return info.hasprev || info.hasnext;
}

bool TCabExtractor::Run(std::uint8_t mode) {
    runMode_ = mode;
    extractFileCount_ = 0;
    sourceFileSize_ = 0;
    currentIndex_ = 0;
    unpackedTotal_ = 0;
    lastError_ = 0;
    abortCode_ = 0;
    refused_ = false;
    pendingFailure_ = nullptr;
    if (mode == 0) Items.Clear();
    if (IsMultiPart(fileName_)) throw ECabError(L"MultiPart Cab Files not supported");

    const cabapi::Library& api = g_cabinet.Api();
    FdiContext fdi(api);
    if (!fdi.Handle()) {
        RecordError(static_cast<std::uint16_t>(fdi.Erf().erfOper));
        return false;
    }
    bool copied = false;
    std::exception_ptr failure;
    try {
        if (mode == 1) {
            sourceFileSize_ = Items.SingleItem ? Items.SingleItem->FileSize : 0;
            extractFileCount_ = 1;
        } else if (mode == 2) {
            for (int i = 0; i < Items.Count(); ++i)
                if (Items[i].Selected) {
                    sourceFileSize_ += Items[i].FileSize;
                    ++extractFileCount_;
                }
        } else if (mode == 3) {
            sourceFileSize_ = OriginalFileSize();
            extractFileCount_ = FileCount();
        }
        if (mode != 0) RaiseStart();

        // The library opens the cabinet only under a name of the run.
        NamesScope names;
        AnsiString name = names.Add(fileName_);
        char folder[] = "";
        OpenTarget target;
        OpenTarget* const outer = std::exchange(t_openTarget, &target);
        copied = api.FDICopy(fdi.Handle(), name.data(), folder, 0, Callbacks::Notify, nullptr,
                             this) != FALSE;
        t_openTarget = outer;
        if (target.handle) CloseHandle(AsHandle(target.handle));
        if (target.handle || target.cutShort) DeleteFileW(target.path.c_str());
        if (pendingFailure_) std::rethrow_exception(std::exchange(pendingFailure_, nullptr));
    } catch (...) {
        failure = std::current_exception();
    }
    const std::uint16_t copyError =
        abortCode_ ? abortCode_ : static_cast<std::uint16_t>(fdi.Erf().erfOper);
    fdi.Release();
    if (failure) {
        if (mode != 0) {
            try {
                RaiseFinish();
            } catch (...) {
            }
        }
        std::rethrow_exception(failure);
    }
    if (mode != 0) RaiseFinish();
    if (!copied) RecordError(copyError);
    return copied && !refused_;
}

bool TCabExtractor::Extract(bool selected) {
    return Run(selected ? 2 : 3);
}

bool TCabExtractor::ExtractSingle(TCabItem& item) {
    TCabItem* previous = Items.SingleItem;
    Items.SingleItem = &item;
    try {
        bool result = Run(1);
        Items.SingleItem = previous;
        return result;
    } catch (...) {
        Items.SingleItem = previous;
        throw;
    }
}

bool TCabExtractor::Extract(int index) {
    return ExtractSingle(Items[index]);
}

bool TCabExtractor::Extract(const AnsiString& storedName) {
    TCabItem* item = Items.Find(storedName);
    return item ? ExtractSingle(*item) : false;
}

bool TCabExtractor::Extract(TCabItem& item) {
    return ExtractSingle(item);
}

std::int64_t TCabExtractor::OriginalFileSize() {
    std::int64_t sum = 0;
    for (int i = 0; i < Items.Count(); ++i)
        sum += Items[i].FileSize;
    return sum;
}

std::wstring TCabExtractor::ErrorText(std::uint16_t code) const {
    return TextOf(kExtractorTexts, code);
}
