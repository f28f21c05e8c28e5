#include "UpgradeSupport.h"

#include <windows.h>

#include <cstdlib>
#include <cwctype>
#include <cstdio>
#include <stdexcept>

#include "TestFolder.h"
#include "deploy/DeployPlain.h"
#include "ftp/Unv_CFtp.h"
#include "pack/Unv_MZip.h"
#include "upgrade/Unv_Upgr.h"
#include "upgrade/Upg_FtpL.h"
#include "upgrade/UpguQvx.h"

namespace {

struct ModuleWindows {
    TUpgFqvx qvx;
    TUnvFUpgr upgr;
    TUpgFFtpL list;
    TUnvFMZip zip;
    TUnvFCFtp ftp;
    ModuleWindows() {
        UpgFqvx = &qvx;
        UnvFUpgr = &upgr;
        UpgFFtpL = &list;
        UnvFMZip = &zip;
        UnvFCFtp = &ftp;
    }
};

void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring path = folder + L"\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryW(folder.c_str());
}

} // namespace

void UseModuleWindows(std::uint16_t ftpPort) {
    // Never destroyed: the windows live to the end of the program, as in the tool.
    static ModuleWindows* windows = new ModuleWindows;
    windows->ftp.IdFTP1.Port = ftpPort;
    windows->list.IdFTP1.Port = ftpPort;
}

std::string PlainUser() {
    return reinterpret_cast<const char*>(KOREKTA_PLAIN_USER);
}

std::string PlainPassword() {
    return reinterpret_cast<const char*>(KOREKTA_PLAIN_PASSWORD);
}

FtpTestServer BuiltInServer(const std::wstring& root) {
    return FtpTestServer::Real(PlainUser(), PlainPassword(), root);
}

FtpTestServer BuiltInScriptedServer(const FtpScript& script) {
    return FtpTestServer::Scripted(script, PlainUser(), PlainPassword());
}

void WriteWholeFile(const std::wstring& path, const std::string& bytes) {
    for (std::size_t p = path.find(L'\\', 3); p != std::wstring::npos; p = path.find(L'\\', p + 1))
        CreateDirectoryW(path.substr(0, p).c_str(), nullptr);
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f) throw std::runtime_error("cannot write a test file");
    const bool written = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    fclose(f);
    if (!written) throw std::runtime_error("cannot write a test file");
}

std::string FixtureBytes(const std::string& name) {
    const char* source = std::getenv("KOREKTA_SOURCE_DIR");
    if (!source) throw std::runtime_error("KOREKTA_SOURCE_DIR is not set");
    return ReadFileBytes(WindowsPathOf(std::string(source) + "/tests/upgrade/fixtures/" + name));
}

std::wstring ServedPath(const std::wstring& root, const std::wstring& remote) {
    std::wstring rel = remote.substr(remote.find_first_not_of(L'/'));
    for (auto& c : rel)
        if (c == L'/') c = L'\\';
    return root + rel;
}

bool IsUpdateFolder(const std::wstring& text) {
    const std::wstring start = ProgramFolder() + L"Update";
    if (text.size() != start.size() + 16 || text.compare(0, start.size(), start) != 0) return false;
    const std::wstring stamp = text.substr(start.size());
    for (std::size_t i = 0; i < 15; ++i) {
        if (i == 8 ? stamp[i] != L'g' : !std::iswdigit(stamp[i])) return false;
    }
    return stamp[15] == L'\\';
}

void RemoveUpdateFolders() {
    const std::wstring folder = ProgramFolder();
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((folder + L"Update*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    std::vector<std::wstring> found;
    do {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) found.push_back(folder + fd.cFileName);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    for (const auto& f : found)
        RemoveTree(f);
}

long long LastWriteTime(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<long long>(data.ftLastWriteTime.dwHighDateTime) << 32) |
           data.ftLastWriteTime.dwLowDateTime;
}
