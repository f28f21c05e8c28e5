#include "pack/ZipFiles.h"

#include <windows.h>

#include <cwchar>
#include <unordered_set>
#include <vector>

#include "pack/ZipArchive.h"
#include "util/FileSystem.h"
#include "util/LocalTime.h"

namespace {

constexpr DWORD kDosAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                 FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

// A file failed; the answer is no, whatever the step.
struct FileFailure {};

// Closes the handle on every path.
class FileHandle {
public:
    explicit FileHandle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    ~FileHandle() {
        if (Valid()) CloseHandle(h_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return h_; }
    void Reset(HANDLE h) {
        if (Valid()) CloseHandle(h_);
        h_ = h;
    }
    bool Close() {
        HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return CloseHandle(h) != FALSE;
    }

private:
    HANDLE h_;
};

// Whole chunks straight from and to the files, one call each.
class FileSource : public zip::Source {
public:
    explicit FileSource(HANDLE h) : h_(h) {}
    std::size_t Read(char* buffer, std::size_t size) override {
        DWORD got = 0;
        if (!ReadFile(h_, buffer, static_cast<DWORD>(size), &got, nullptr)) throw FileFailure{};
        return got;
    }

private:
    HANDLE h_;
};

class FileInput : public zip::Input {
public:
    explicit FileInput(HANDLE h) : h_(h) {
        LARGE_INTEGER size;
        if (!GetFileSizeEx(h, &size) || size.QuadPart < 0) throw FileFailure{};
        size_ = static_cast<std::uint64_t>(size.QuadPart);
    }
    std::uint64_t Size() const override { return size_; }
    void ReadAt(std::uint64_t offset, char* buffer, std::size_t size) override {
        while (size > 0) {
            // A synchronous handle reads at the offset the structure gives.
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(offset);
            at.OffsetHigh = static_cast<DWORD>(offset >> 32);
            DWORD got = 0;
            if (!ReadFile(h_, buffer, static_cast<DWORD>(size), &got, &at) || got == 0)
                throw FileFailure{};
            buffer += got;
            offset += got;
            size -= got;
        }
    }

private:
    HANDLE h_;
    std::uint64_t size_ = 0;
};

class FileOutput : public zip::PatchableOutput {
public:
    explicit FileOutput(HANDLE h) : h_(h) {}
    void Write(const char* data, std::size_t size) override {
        WriteAt(end_, data, size);
        end_ += size;
    }
    void Patch(std::uint64_t offset, const char* data, std::size_t size) override {
        WriteAt(offset, data, size);
    }

private:
    void WriteAt(std::uint64_t offset, const char* data, std::size_t size) {
        while (size > 0) {
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(offset);
            at.OffsetHigh = static_cast<DWORD>(offset >> 32);
            DWORD put = 0;
            if (!WriteFile(h_, data, static_cast<DWORD>(size), &put, &at) || put == 0)
                throw FileFailure{};
            data += put;
            offset += put;
            size -= put;
        }
    }

    HANDLE h_;
    std::uint64_t end_ = 0;
};

std::wstring NameOf(const std::wstring& path) {
    std::size_t p = path.find_last_of(L"\\/:");
    return p == std::wstring::npos ? path : path.substr(p + 1);
}

// The folder part of a path with its separator ("" for a bare name).
std::wstring FolderOf(const std::wstring& path) {
    std::size_t p = path.find_last_of(L"\\/:");
    return p == std::wstring::npos ? std::wstring() : path.substr(0, p + 1);
}

std::wstring Upper(std::wstring text) {
    if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// Names of temporary files: "~zip" and eight hex digits ".tmp", in the folder of the file
// they stand for, so that a rename never crosses a volume. The counter starts from the
// process and the clock, so concurrent runs rarely try the same names.
class TempNames {
public:
    // Names that are no candidates: the file and folder names of an archive's entries.
    explicit TempNames(std::unordered_set<std::wstring> reserved = {})
        : reserved_(std::move(reserved)), next_((GetCurrentProcessId() << 16) ^ GetTickCount()) {}

    std::wstring Next(const std::wstring& folder) {
        for (;;) {
            wchar_t name[32];
            std::swprintf(name, 32, L"~zip%08X.tmp", static_cast<unsigned>(next_++));
            if (!reserved_.count(Upper(name))) return folder + name;
        }
    }

private:
    std::unordered_set<std::wstring> reserved_;
    DWORD next_;
};

bool AlreadyThere(DWORD error) {
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

// A new temporary file in folder, open for writing and shared with no one.
HANDLE CreateTemp(TempNames& names, const std::wstring& folder, std::wstring& path) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        path = names.Next(folder);
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (h != INVALID_HANDLE_VALUE) return h;
        if (!AlreadyThere(GetLastError())) break;
    }
    path.clear();
    throw FileFailure{};
}

// Deletes a file even when it is read-only.
void Remove(const std::wstring& path) {
    if (!DeleteFileW(path.c_str())) {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
    }
}

// One unpacking run: the folders it created, the temporary files it wrote, and the
// targets it has replaced so far. Until Commit has succeeded, its end undoes the run:
// the replaced targets come back, the temporary files and the created folders go.
class Unpacking {
public:
    explicit Unpacking(std::unordered_set<std::wstring> reserved) : names_(std::move(reserved)) {}
    Unpacking(const Unpacking&) = delete;
    Unpacking& operator=(const Unpacking&) = delete;

    ~Unpacking() {
        if (committed_) return;
        open_.Reset(INVALID_HANDLE_VALUE);
        // The last step first: a target written is deleted before its old file returns.
        for (auto step = done_.rbegin(); step != done_.rend(); ++step) {
            if (step->written) Remove(step->target);
            if (!step->backup.empty()) MoveFileExW(step->backup.c_str(), step->target.c_str(), 0);
        }
        for (const File& f : files_)
            if (!f.temp.empty()) Remove(f.temp);
        for (auto folder = folders_.rbegin(); folder != folders_.rend(); ++folder)
            RemoveDirectoryW(folder->c_str());
    }

    // Creates the missing folders of path, noting each as soon as it exists.
    void ForceFolders(const std::wstring& path) { MakeFolders(path, &folders_); }

    // Writes the entry's checked data to a new temporary file beside target.
    void Write(zip::Reader& reader, const zip::Entry& e, const std::wstring& target) {
        const std::wstring folder = FolderOf(target);
        ForceFolders(folder);
        if (FolderExists(target)) throw FileFailure{};
        File f{target, L"", e.hostSystem == 0, e.externalAttributes & kDosAttributes};
        open_.Reset(CreateTemp(names_, folder, f.temp));
        files_.push_back(f);
        FileOutput out(open_.Get());
        reader.Extract(e, out);
        FILETIME utc;
        // The stored pair is local time.
        if (DosToFileTime(e.dosDate, e.dosTime, utc))
            SetFileTime(open_.Get(), nullptr, nullptr, &utc);
        if (!open_.Close()) throw FileFailure{};
    }

    // Puts every written file in its target's place, in the order written; an existing
    // target is first moved aside, so that a failure can bring it back.
    void Commit() {
        for (File& f : files_) {
            Step step{f.target, L"", false};
            const DWORD existing = GetFileAttributesW(f.target.c_str());
            if (existing != INVALID_FILE_ATTRIBUTES) {
                if (existing & FILE_ATTRIBUTE_DIRECTORY) throw FileFailure{};
                step.backup = MoveAside(f.target);
            }
            done_.push_back(step);
            if (!MoveFileExW(f.temp.c_str(), f.target.c_str(), 0)) throw FileFailure{};
            done_.back().written = true;
            f.temp.clear();
        }
        committed_ = true;
        for (const Step& step : done_)
            if (!step.backup.empty()) Remove(step.backup);
        for (const File& f : files_)
            if (f.dosHost)
                SetFileAttributesW(f.target.c_str(),
                                   f.attributes ? f.attributes : FILE_ATTRIBUTE_NORMAL);
    }

private:
    struct File {
        std::wstring target, temp;
        bool dosHost;
        DWORD attributes;
    };
    struct Step {
        std::wstring target, backup; // backup: where the old target waits, if there was one
        bool written;                // the new file is in the target's place
    };

    std::wstring MoveAside(const std::wstring& target) {
        for (int attempt = 0; attempt < 1000; ++attempt) {
            const std::wstring backup = names_.Next(FolderOf(target));
            if (MoveFileExW(target.c_str(), backup.c_str(), 0)) return backup;
            if (!AlreadyThere(GetLastError())) break;
        }
        throw FileFailure{};
    }

    TempNames names_;
    FileHandle open_;
    std::vector<std::wstring> folders_;
    std::vector<File> files_;
    std::vector<Step> done_;
    bool committed_ = false;
};

// Every file and folder name that an entry's path holds, upper-cased.
void ReserveNames(const std::wstring& name, std::unordered_set<std::wstring>& reserved) {
    std::size_t start = 0;
    while (start < name.size()) {
        std::size_t end = name.find_first_of(L"\\/", start);
        if (end == std::wstring::npos) end = name.size();
        reserved.insert(Upper(name.substr(start, end - start)));
        start = end + 1;
    }
}

} // namespace

bool ZipFile(const std::wstring& ArchiveName, const std::wstring& Filename) {
    std::wstring temp;
    try {
        zip::NewEntry entry;
        entry.name = NameOf(Filename);
        FileHandle source(CreateFileW(Filename.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        BY_HANDLE_FILE_INFORMATION info;
        if (!source.Valid() || !GetFileInformationByHandle(source.Get(), &info) ||
            !FileTimeToDos(info.ftLastWriteTime, entry.dosDate, entry.dosTime))
            return false;
        // Too big for the format: refused before anything is written.
        if (info.nFileSizeHigh != 0 || info.nFileSizeLow == 0xFFFFFFFFu) return false;
        entry.externalAttributes = info.dwFileAttributes & kDosAttributes;

        // Written beside the archive and renamed onto it once complete: a failed run leaves
        // the old archive as it was.
        TempNames names;
        FileHandle out(CreateTemp(names, FolderOf(ArchiveName), temp));
        FileSource data(source.Get());
        FileOutput archive(out.Get());
        zip::WriteSingleEntryArchive(entry, data, archive);
        // Closed first, so that a source in the archive's place can be replaced too.
        source.Close();
        if (!out.Close() ||
            !MoveFileExW(temp.c_str(), ArchiveName.c_str(), MOVEFILE_REPLACE_EXISTING))
            throw FileFailure{};
        return true;
    } catch (...) {
        if (!temp.empty()) DeleteFileW(temp.c_str());
        return false;
    }
}

bool UnZipFile(const std::wstring& ArchiveName, const std::wstring& Path) {
    try {
        FileHandle in(CreateFileW(ArchiveName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!in.Valid()) return false;
        FileInput input(in.Get());
        // Every name and the structure are checked before anything is written.
        zip::Reader reader(input);

        std::wstring base = Path;
        if (!base.empty() && base.back() != L'\\' && base.back() != L'/') base += L'\\';
        std::unordered_set<std::wstring> reserved;
        for (const zip::Entry& e : reader.Entries())
            ReserveNames(e.name, reserved);
        Unpacking run(std::move(reserved));
        for (const zip::Entry& e : reader.Entries()) {
            std::wstring target = base + e.name;
            for (wchar_t& c : target)
                if (c == L'/') c = L'\\';
            if (e.isFolder)
                run.ForceFolders(target);
            else
                run.Write(reader, e, target);
        }
        // Closed first, so that an archive among the targets can be replaced too.
        in.Close();
        run.Commit();
        return true;
    } catch (...) {
        return false;
    }
}
