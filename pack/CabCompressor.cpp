#include "pack/CabCompressor.h"

#include <cstring>
#include <iterator>
#include <type_traits>
#include <utility>

#include "gui/Application.h"
#include "pack/CabLibrary.h"
#include "util/FileSystem.h"
#include "util/LocalTime.h"
#include "util/Utf8.h"

namespace {

const wchar_t* const kTexts[] = {L"No error",
                                 L"Error opening source file",
                                 L"Error reading from source file",
                                 L"Out of memory",
                                 L"TempFile could not be created",
                                 L"Unknown compression type",
                                 L"Cabinet file could bot be created",
                                 L"Operation aborted by user",
                                 L"Compression error"};
// One text for each code of the compression interface, in the order of its codes.
static_assert(std::size(kTexts) == FCIERR_MCI_FAIL + 1 && FCIERR_OPEN_SRC == 1 &&
              FCIERR_ALLOC_FAIL == 3 && FCIERR_CAB_FILE == 6);
static_assert(tcompTYPE_NONE == 0 && tcompTYPE_MSZIP == 1 && TCOMPfromLZXWindow(15) == 0x0F03 &&
              TCOMPfromLZXWindow(21) == 0x1503);
// The attribute bit that marks a stored name as UTF-8.
static_assert(_A_NAME_IS_UTF == 0x80);

std::wstring FullPath(const std::wstring& path) {
    if (path.empty()) return path;
    DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::wstring out(n, L'\0');
    n = GetFullPathNameW(path.c_str(), n, out.data(), nullptr);
    out.resize(n);
    return out;
}

// The file-name part, after the last "\" or ":".
std::wstring NamePart(const std::wstring& path) {
    const std::size_t cut = path.find_last_of(L"\\:");
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

// The local date-time of a file time, to the second; 0 when it cannot be converted.
TDateTime LocalDateTimeOf(const FILETIME& utc) {
    SYSTEMTIME st;
    TDateTime value = 0;
    if (!FileTimeToLocal(utc, st) || !TryEncodeDateTime(st.wYear, st.wMonth, st.wDay, st.wHour,
                                                        st.wMinute, st.wSecond, 0, value))
        return 0;
    return value;
}

bool CopyInto(char (&target)[CB_MAX_CAB_PATH], const AnsiString& text) {
    if (text.size() >= sizeof target) return false;
    std::memcpy(target, text.c_str(), text.size() + 1);
    return true;
}

// A source file open for reading, with the DOS date, time and attributes the library stores.
struct SourceFile {
    INT_PTR handle = -1;
    USHORT date = 0, time = 0, attributes = 0;
    DWORD error = 0;
    std::wstring path;
    // The stored name is UTF-8, since the code page cannot hold it.
    bool utf8Name = false;
};

bool OpenSource(const std::wstring& path, SourceFile& out) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        out.error = GetLastError();
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info) ||
        !FileTimeToDos(info.ftLastWriteTime, out.date, out.time)) {
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

// The callbacks of a run that are the compressor's own; the file callbacks are the library
// unit's. Every one receives the run as its context pointer.
struct TCabCompressor::Callbacks {
    // What a run's callbacks share: its files, the compressor, and the source opened ahead
    // of the current add (a source the library cannot open leaves its context unable to
    // complete the cabinet, so such a source never reaches it).
    struct Run : cab::RunFiles {
        explicit Run(TCabCompressor& c) : self(c) {}
        TCabCompressor& self;
        SourceFile source;
    };
    static Run& Of(void* pv) { return static_cast<Run&>(cab::RunFiles::Of(pv)); }

    static int DIAMONDAPI FilePlaced(CCAB*, char*, LONG, BOOL, void*) { return 0; }
    static BOOL DIAMONDAPI NextCabinet(CCAB*, ULONG, void*) { return FALSE; }

    static LONG DIAMONDAPI Status(UINT type, ULONG cb1, ULONG cb2, void* pv) {
        if (type != statusFile) return 0;
        TCabCompressor& self = Of(pv).self;
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

    // Hands the library the source opened before its add; from then on the library closes it.
    static INT_PTR DIAMONDAPI OpenInfo(char* name, USHORT* date, USHORT* time, USHORT* attributes,
                                       int* err, void* pv) {
        Run& run = Of(pv);
        SourceFile source;
        std::wstring path;
        if (run.source.handle != -1) {
            source = run.source;
            run.source.handle = -1;
            run.handedOut = source.handle;
        } else if (!run.PathOf(name, path) || !OpenSource(path, source)) {
            *err = path.empty() ? ERROR_INVALID_NAME : static_cast<int>(source.error);
            return -1;
        } else {
            source.utf8Name = run.source.utf8Name;
        }
        *date = source.date;
        *time = source.time;
        *attributes =
            static_cast<USHORT>(source.attributes | (source.utf8Name ? _A_NAME_IS_UTF : 0));
        return source.handle;
    }

    static_assert(std::is_same_v<decltype(&FilePlaced), PFNFCIFILEPLACED> &&
                  std::is_same_v<decltype(&NextCabinet), PFNFCIGETNEXTCABINET> &&
                  std::is_same_v<decltype(&Status), PFNFCISTATUS> &&
                  std::is_same_v<decltype(&OpenInfo), PFNFCIGETOPENINFO>);
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
        item.FileDate = LocalDateTimeOf(data.ftLastWriteTime);
    }
}

std::int64_t TCabCompressor::OriginalFileSize() {
    std::int64_t sum = 0;
    for (int i = 0; i < Items.Count(); ++i) {
        TCabItem& item = Items[i];
        item.FileSize = item.WideFileName.empty() ? -1 : FileSize(FullPath(item.WideFileName));
        if (item.FileSize >= 0) sum += item.FileSize;
    }
    return sum;
}

std::wstring TCabCompressor::ErrorText(std::uint16_t code) const {
    return TextOf(kTexts, code);
}

std::uint16_t TCabCompressor::CompressionCode() const {
    switch (CompressionType) {
    case cctNone:
        return tcompTYPE_NONE;
    case cctLZX:
        return static_cast<std::uint16_t>(TCOMPfromLZXWindow(15 + CompressionLZXLevel));
    case cctMSZIP:
    default:
        return tcompTYPE_MSZIP;
    }
}

bool TCabCompressor::Compress() {
    lastError_ = 0;
    sourceFileSize_ = 0;
    compressedFileSize_ = 0;
    pendingFailure_ = nullptr;
    const cab::Api& api = cab::Library();

    CCAB ccab{};
    ccab.cb = 0x7FFFFFFF;
    ccab.cbFolderThresh = 0x7FFFFFFF;
    ccab.iCab = 1;
    ccab.iDisk = 0;
    ccab.setID = 0;
    ccab.fFailOnIncompressible = FALSE;
    CopyInto(ccab.szDisk, "DISK01");
    // The library opens the cabinet, and its temporary files, only under names of the run.
    Callbacks::Run run(*this);
    if (!CopyInto(ccab.szCab, run.Add(FileName)) || !CopyInto(ccab.szCabPath, "")) {
        RecordError(FCIERR_CAB_FILE);
        return false;
    }

    ERF erf{};
    HFCI fci =
        api.FCICreate(&erf, Callbacks::FilePlaced, cab::Alloc, cab::Free, cab::FciOpen,
                      cab::FciRead, cab::FciWrite, cab::FciClose, cab::FciSeek, cab::FciDelete,
                      cab::FciTempFile, &ccab, static_cast<cab::RunFiles*>(&run));
    bool result = false;
    std::exception_ptr failure;
    try {
        RaiseStart();
        const std::uint16_t code = CompressionCode();
        if (!fci) {
            // Without a context the library is never called: its error is all there is to tell.
            RecordError(static_cast<std::uint16_t>(erf.erfOper ? erf.erfOper : FCIERR_ALLOC_FAIL));
        } else {
            for (int i = 0; i < Items.Count(); ++i) {
                gui::Application::Instance().ProcessMessages();
                const TCabItem& item = Items[i];
                currentIndex_ = i;
                SourceFile& opened = run.source;
                opened = {};
                opened.path = FullPath(item.WideFileName);
                // The stored name in the code page when it holds it exactly, else in UTF-8
                // with the flag that says so.
                AnsiString stored;
                const std::wstring name = NamePart(item.WideFileName);
                std::wstring prefix;
                if (ToAnsiExact(name, stored)) {
                    stored = item.DestinationPath + stored;
                } else if (FromAnsiExact(item.DestinationPath, prefix)) {
                    stored = ToUtf8(prefix + name);
                    opened.utf8Name = true;
                } else {
                    opened.path.clear();
                }
                if (opened.path.empty() || !OpenSource(opened.path, opened)) {
                    RecordError(FCIERR_OPEN_SRC);
                    continue;
                }
                AnsiString source = run.Add(opened.path);
                erf = {};
                run.handedOut = -1;
                BOOL added =
                    api.FCIAddFile(fci, source.data(), stored.data(), FALSE, Callbacks::NextCabinet,
                                   Callbacks::Status, Callbacks::OpenInfo, code);
                // A source never handed over, or one the library abandoned, is closed here.
                if (opened.handle != -1)
                    CloseHandle(cab::AsHandle(std::exchange(opened.handle, -1)));
                if (run.handedOut != -1)
                    CloseHandle(cab::AsHandle(std::exchange(run.handedOut, -1)));
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
    FinishRun(failure);
    return result;
}
