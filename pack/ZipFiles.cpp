#include "pack/ZipFiles.h"

#include <windows.h>

#include <algorithm>

#include "pack/DosTime.h"
#include "pack/ZipArchive.h"

namespace {

constexpr DWORD kDosAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                 FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

// Closes the handle on every path.
class FileHandle {
public:
    explicit FileHandle(HANDLE h) : h_(h) {}
    ~FileHandle() {
        if (Valid()) CloseHandle(h_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return h_; }
    bool Close() {
        HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return CloseHandle(h) != FALSE;
    }

private:
    HANDLE h_;
};

bool ReadWhole(HANDLE h, std::string& out) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(h, &size) || size.QuadPart < 0 || size.QuadPart > 0x7FFFFFFF) return false;
    out.resize(static_cast<std::size_t>(size.QuadPart));
    std::size_t done = 0;
    while (done < out.size()) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(out.size() - done, 1u << 20));
        if (!ReadFile(h, out.data() + done, want, &got, nullptr)) return false;
        if (got == 0) break;
        done += got;
    }
    out.resize(done);
    return true;
}

bool WriteWhole(HANDLE h, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        DWORD put = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1u << 20));
        if (!WriteFile(h, data.data() + done, want, &put, nullptr) || put == 0) return false;
        done += put;
    }
    return true;
}

std::wstring NameOf(const std::wstring& path) {
    std::size_t p = path.find_last_of(L"\\/:");
    return p == std::wstring::npos ? path : path.substr(p + 1);
}

bool FolderExists(const std::wstring& path) {
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool ForceFolders(std::wstring path) {
    while (!path.empty() && path.back() == L'\\')
        path.pop_back();
    if (path.empty() || FolderExists(path)) return true;
    std::size_t cut = path.find_last_of(L'\\');
    if (cut != std::wstring::npos && cut > 0 && path[cut - 1] != L':' &&
        !ForceFolders(path.substr(0, cut)))
        return false;
    return CreateDirectoryW(path.c_str(), nullptr) || FolderExists(path);
}

bool WriteEntry(const std::wstring& target, const zip::Entry& e, const std::string& data) {
    const std::size_t cut = target.find_last_of(L'\\');
    if (cut != std::wstring::npos && !ForceFolders(target.substr(0, cut + 1))) return false;
    // A read-only file left by an earlier unpacking is replaced like any other.
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    FileHandle file(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return false;
    if (!WriteWhole(file.Get(), data)) return false;
    FILETIME utc;
    // The stored pair is local time.
    if (LocalDosToFileTime(e.dosDate, e.dosTime, utc))
        SetFileTime(file.Get(), nullptr, nullptr, &utc);
    if (!file.Close()) return false;
    if (e.hostSystem == 0) {
        const DWORD attributes = e.externalAttributes & kDosAttributes;
        SetFileAttributesW(target.c_str(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL);
    }
    return true;
}

} // namespace

bool ZipFile(const std::wstring& ArchiveName, const std::wstring& Filename) {
    try {
        if (GetFileAttributesW(ArchiveName.c_str()) != INVALID_FILE_ATTRIBUTES &&
            !DeleteFileW(ArchiveName.c_str()))
            return false;
        std::string data;
        zip::NewEntry entry;
        entry.name = NameOf(Filename);
        {
            FileHandle source(CreateFileW(Filename.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
            BY_HANDLE_FILE_INFORMATION info;
            if (!source.Valid() || !GetFileInformationByHandle(source.Get(), &info) ||
                !FileTimeToLocalDos(info.ftLastWriteTime, entry.dosDate, entry.dosTime) ||
                !ReadWhole(source.Get(), data))
                return false;
            entry.externalAttributes = info.dwFileAttributes & kDosAttributes;
        }
        const std::string archive = zip::WriteSingleEntryArchive(entry, data);
        FileHandle out(CreateFileW(ArchiveName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out.Valid()) return false;
        if (!WriteWhole(out.Get(), archive) || !out.Close()) {
            DeleteFileW(ArchiveName.c_str());
            return false;
        }
        return true;
    } catch (...) {
        return false;
    }
}

bool UnZipFile(const std::wstring& ArchiveName, const std::wstring& Path) {
    try {
        std::string bytes;
        {
            FileHandle in(CreateFileW(ArchiveName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
            if (!in.Valid() || !ReadWhole(in.Get(), bytes)) return false;
        }
        const zip::Reader reader(bytes);
        // Every entry is checked before the first is written.
        for (const zip::Entry& e : reader.Entries())
            if (!e.isFolder) reader.Data(e);

        std::wstring base = Path;
        if (!base.empty() && base.back() != L'\\' && base.back() != L'/') base += L'\\';
        for (const zip::Entry& e : reader.Entries()) {
            std::wstring target = base + e.name;
            for (wchar_t& c : target)
                if (c == L'/') c = L'\\';
            if (e.isFolder) {
                if (!ForceFolders(target)) return false;
            } else if (!WriteEntry(target, e, reader.Data(e))) {
                return false;
            }
        }
        return true;
    } catch (...) {
        return false;
    }
}
