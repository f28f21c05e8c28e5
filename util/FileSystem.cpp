#include "util/FileSystem.h"

#include <windows.h>

#include "util/Errors.h"
#include "util/pres.h"

namespace {

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// Whether the path can be opened: for a link, whether its target exists. Opening for no
// access is refused by no other program's sharing.
bool Reachable(const std::wstring& path, DWORD flags) {
    HANDLE h = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

// Closes a handle on every path.
class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

} // namespace

bool FileExists(const std::wstring& path) {
    if (path.empty() || IsSeparator(path.back())) return false;
    const DWORD a = GetFileAttributesW(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_DIRECTORY)) return false;
    return !(a & FILE_ATTRIBUTE_REPARSE_POINT) || Reachable(path, FILE_ATTRIBUTE_NORMAL);
}

bool FolderExists(const std::wstring& path) {
    if (path.empty()) return false;
    const DWORD a = GetFileAttributesW(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY)) return false;
    return !(a & FILE_ATTRIBUTE_REPARSE_POINT) || Reachable(path, FILE_FLAG_BACKUP_SEMANTICS);
}

void MakeFolders(const std::wstring& path, std::vector<std::wstring>* created) {
    std::wstring folder = path;
    while (!folder.empty() && IsSeparator(folder.back()))
        folder.pop_back();
    if (folder.empty() || FolderExists(folder)) return;
    std::size_t cut = folder.size();
    while (cut > 0 && !IsSeparator(folder[cut - 1]))
        --cut;
    // The parent first, unless it is a drive ("C:") or the root of the current one ("\").
    if (cut > 1 && folder[cut - 2] != L':') MakeFolders(folder.substr(0, cut - 1), created);
    if (!CreateDirectoryW(folder.c_str(), nullptr)) {
        const std::wstring reason = LastErrorReason();
        if (FolderExists(folder)) return; // made meanwhile by someone else
        throw EInOutError(L"Nie można utworzyć folderu " + folder + L": " + reason + L".");
    }
    if (created) created->push_back(folder);
}

std::int64_t FileSize(const std::wstring& path) {
    if (!FileExists(path)) return -1;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    // A link's own entry has no size: the size is its target's.
    Handle h(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (h.get() == INVALID_HANDLE_VALUE || !GetFileSizeEx(h.get(), &size)) return -1;
    return size.QuadPart;
}

std::string ReadWholeFile(const std::wstring& path) {
    Handle h(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (h.get() == INVALID_HANDLE_VALUE)
        throw EInOutError(L"Nie można otworzyć pliku " + path + L": " + LastErrorReason() + L".");
    std::string bytes;
    char buffer[16384];
    DWORD got = 0;
    BOOL ok = TRUE;
    while ((ok = ReadFile(h.get(), buffer, sizeof buffer, &got, nullptr)) && got > 0)
        bytes.append(buffer, got);
    if (!ok)
        throw EInOutError(L"Nie można odczytać pliku " + path + L": " + LastErrorReason() + L".");
    return bytes;
}

std::wstring ProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}
