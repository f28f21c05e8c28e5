#include "pack/CabExtractor.h"

#include <cstring>
#include <iterator>
#include <type_traits>
#include <utility>

#include "pack/CabLibrary.h"
#include "pack/SafeNames.h"
#include "util/FileSystem.h"
#include "util/LocalTime.h"
#include "util/Utf8.h"

namespace {

const wchar_t* const kTexts[] = {L"No error",
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
// One text for each code of the decompression interface, in the order of its codes.
static_assert(std::size(kTexts) == FDIERROR_USER_ABORT + 1 && FDIERROR_NOT_A_CABINET == 2 &&
              FDIERROR_CORRUPT_CABINET == 4 && FDIERROR_TARGET_FILE == 8);
// The attribute bit that marks a stored name as UTF-8.
static_assert(_A_NAME_IS_UTF == 0x80 && cpuUNKNOWN == -1);

// The folder part of a path with its trailing "\" ("" for a bare name), split at the last
// "\" or ":".
std::string FolderPart(const std::string& path) {
    const std::size_t cut = path.find_last_of("\\:");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}
std::wstring FolderPart(const std::wstring& path) {
    const std::size_t cut = path.find_last_of(L"\\:");
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1);
}

std::wstring CurrentFolder() {
    DWORD n = GetCurrentDirectoryW(0, nullptr);
    std::wstring out(n, L'\0');
    n = GetCurrentDirectoryW(n, out.data());
    out.resize(n);
    return out;
}

// Empty or only spaces, at any length.
bool OnlySpaces(const std::wstring& text) {
    return text.find_first_not_of(L' ') == std::wstring::npos;
}

// A decompression context, released on every path.
class FdiContext {
public:
    explicit FdiContext(const cab::Api& api) : api_(api) {
        handle_ = api_.FDICreate(cab::Alloc, cab::Free, cab::FdiOpen, cab::FdiRead, cab::FdiWrite,
                                 cab::FdiClose, cab::FdiSeek, cpuUNKNOWN, &erf_);
    }
    ~FdiContext() { Release(); }
    FdiContext(const FdiContext&) = delete;
    FdiContext& operator=(const FdiContext&) = delete;
    HFDI Handle() const { return handle_; }
    const ERF& Erf() const { return erf_; }
    void Release() {
        if (handle_) api_.FDIDestroy(handle_);
        handle_ = nullptr;
    }

private:
    const cab::Api& api_;
    ERF erf_{};
    HFDI handle_ = nullptr;
};

// The cabinet information of the file at path; false when it is none.
bool ReadCabinetInfo(const std::wstring& path, FDICABINETINFO& info) {
    const cab::Api& api = cab::Library();
    if (!FileExists(path)) return false;
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

} // namespace

// The notification callback of a copy and what it decides; it receives the run as the
// copy's user context.
struct TCabExtractor::Callbacks {
    struct Run {
        explicit Run(TCabExtractor& x) : self(x) {}
        TCabExtractor& self;
        // The cabinet's name, and the target being written (files.handedOut) with its path
        // and stored size: one still open when the copy ends, or closed by the library (which
        // happens only when the copy fails), was cut short and is removed, not left corrupt.
        cab::RunFiles files;
        std::wstring targetPath;
        std::int64_t targetSize = 0;

        void ForgetTarget() {
            files.handedOut = -1;
            files.closedByLibrary = false;
            targetPath.clear();
            targetSize = 0;
        }
    };

    static INT_PTR DIAMONDAPI Notify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION notice) {
        Run& run = *static_cast<Run*>(notice->pv);
        try {
            switch (type) {
            case fdintCOPY_FILE:
                return CopyFileNotice(run, notice->psz1, notice->cb, notice->date, notice->time,
                                      notice->attribs);
            case fdintCLOSE_FILE_INFO:
                return CloseFileNotice(run, notice->hf, notice->date, notice->time);
            default:
                return 0;
            }
        } catch (...) {
            run.self.pendingFailure_ = std::current_exception();
            return -1;
        }
    }

    // The copy-file notice: the open target, 0 to skip the file, -1 to stop the copy.
    static INT_PTR CopyFileNotice(Run& run, const char* storedBytes, std::int32_t size,
                                  std::uint16_t date, std::uint16_t time,
                                  std::uint16_t attributes) {
        TCabExtractor& self = run.self;
        // The stored name is decoded once, without loss; that one form is checked and written.
        const bool utf8 = (attributes & _A_NAME_IS_UTF) != 0;
        std::wstring wideName;
        bool decoded = true;
        if (utf8)
            wideName = FromUtf8(storedBytes, &decoded);
        else
            decoded = FromAnsiExact(storedBytes, wideName);
        if (!decoded) wideName.clear();
        // The 8-bit form the items and events carry.
        const AnsiString storedName = !utf8     ? AnsiString(storedBytes)
                                      : decoded ? ToAnsi(wideName)
                                                : AnsiString(storedBytes);
        if (self.runMode_ == 0) {
            TCabItem& item = self.Items.Add();
            item.FileName = storedName;
            item.WideFileName = wideName;
            item.FileSize = size;
            item.DestinationPath = FolderPart(storedName);
            item.FileDate = DateTimeFromDos(date, time);
            return 0;
        }
        if (!self.WantsFile(storedName, wideName)) return 0;

        self.unpackedTotal_ += size;
        self.RaiseProgress(storedName, size, self.unpackedTotal_);
        ++self.currentIndex_;

        // A name that could leave the destination, or that has no exact form, is never
        // written; the run goes on.
        if (!decoded || !IsSafeStoredName(wideName)) {
            self.refused_ = true;
            self.RecordError(FDIERROR_TARGET_FILE);
            return 0;
        }
        // Both separators name folders on the platform; the target paths use one.
        std::wstring relative = wideName;
        for (wchar_t& c : relative)
            if (c == L'/') c = L'\\';
        // A blank destination means the current folder.
        std::wstring destination =
            OnlySpaces(self.DestinationPath) ? CurrentFolder() : self.DestinationPath;
        if (destination.empty() || destination.back() != L'\\') destination += L'\\';
        std::wstring sub = FolderPart(relative);
        if (!sub.empty()) sub.pop_back();
        const std::wstring folder = destination + sub;
        if (!FolderExists(folder)) {
            bool cancel = !(self.Options & dcoForceDirectories);
            if (self.OnFolderRequired) self.OnFolderRequired(self, ToAnsi(folder), cancel);
            if (cancel) return 0;
            // A folder that cannot be made makes the target's creation fail below.
            try {
                MakeFolders(folder);
            } catch (const EInOutError&) {
            }
        }
        const std::wstring target = destination + relative;
        if (FileExists(target)) {
            bool cancel = !(self.Options & dcoOverwriteFiles);
            if (self.OnFileExists) self.OnFileExists(self, ToAnsi(target), cancel);
            if (cancel) return 0;
        }
        HANDLE h = CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            self.abortCode_ = FDIERROR_TARGET_FILE;
            self.RecordError(FDIERROR_TARGET_FILE);
            return -1;
        }
        run.files.handedOut = reinterpret_cast<INT_PTR>(h);
        run.files.closedByLibrary = false;
        run.targetPath = target;
        run.targetSize = size;
        return run.files.handedOut;
    }

    // The close-file notice: the target gets its stored time and is closed.
    static INT_PTR CloseFileNotice(Run& run, INT_PTR hf, std::uint16_t date, std::uint16_t time) {
        HANDLE h = cab::AsHandle(hf);
        const bool target = run.files.handedOut == hf;
        // A file shorter than its stored size was cut short by a corrupt cabinet.
        LARGE_INTEGER written;
        if (target && (!GetFileSizeEx(h, &written) || written.QuadPart != run.targetSize)) {
            CloseHandle(h);
            DeleteFileW(run.targetPath.c_str());
            run.ForgetTarget();
            run.self.abortCode_ = FDIERROR_CORRUPT_CABINET;
            return -1;
        }
        // The stored pair is local time, as the compressor wrote it.
        FILETIME utc;
        if (DosToFileTime(date, time, utc)) SetFileTime(h, nullptr, nullptr, &utc);
        if (target) run.ForgetTarget();
        CloseHandle(h);
        return TRUE;
    }

    static_assert(std::is_same_v<decltype(&Notify), PFNFDINOTIFY>);
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

void TCabExtractor::SetFileName(const std::wstring& path) {
    fileName_ = path;
    if (IsCabFile(path)) Run(0);
}

bool TCabExtractor::IsCabFile(const std::wstring& path) {
    FDICABINETINFO info{};
    return ReadCabinetInfo(path, info);
}

bool TCabExtractor::IsMultiPart(const std::wstring& path) {
    FDICABINETINFO info{};
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

    const cab::Api& api = cab::Library();
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
        Callbacks::Run run(*this);
        AnsiString name = run.files.Add(fileName_);
        char folder[] = "";
        {
            cab::FdiFilesScope scope(run.files);
            copied = api.FDICopy(fdi.Handle(), name.data(), folder, 0, Callbacks::Notify, nullptr,
                                 &run) != FALSE;
        }
        const bool open = run.files.handedOut != -1;
        if (open) CloseHandle(cab::AsHandle(run.files.handedOut));
        if (open || run.files.closedByLibrary) DeleteFileW(run.targetPath.c_str());
        if (pendingFailure_) std::rethrow_exception(std::exchange(pendingFailure_, nullptr));
    } catch (...) {
        failure = std::current_exception();
    }
    const std::uint16_t copyError =
        abortCode_ ? abortCode_ : static_cast<std::uint16_t>(fdi.Erf().erfOper);
    fdi.Release();
    if (mode != 0)
        FinishRun(failure);
    else if (failure)
        std::rethrow_exception(failure);
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
    return TextOf(kTexts, code);
}
