// The packing operations from the command line, for the cross-checks against the native
// archivers. Exit code 0 on success; paths are Windows paths.
//   pack CAB FILE...   through the packing window's CCompres
//   list CAB           the extractor's listing: name, size, date and time, one per line
//   unpack CAB DEST    the extractor's Extract(false)
//   zip ARCHIVE FILE / unzip ARCHIVE DEST   the ZIP pair

#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "gui/Application.h"
#include "pack/CabEngine.h"
#include "pack/Unv_MZip.h"
#include "pack/ZipFiles.h"
#include "util/DateTime.h"

namespace {

std::string Utf8(const std::wstring& s) {
    int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

bool FileExistsAt(const std::wstring& path) {
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

int Run(const std::vector<std::wstring>& args) {
    if (args.size() < 3) return 2;
    const std::wstring& command = args[1];
    if (command == L"pack") {
        // Through the packing window, as the upgrade manager packs.
        TUnvFMZip window;
        std::vector<std::wstring> files(args.begin() + 3, args.end());
        window.CCompres(files, args[2]);
        return window.CCompr.LastError() == 0 && FileExistsAt(window.PlkCCmp) ? 0 : 1;
    }
    if (command == L"list" || command == L"unpack") {
        TCabExtractor x;
        if (!x.IsCabFile(args[2])) return 1;
        x.SetFileName(args[2]);
        if (x.LastError() != 0) return 1;
        if (command == L"list") {
            for (int i = 0; i < x.FileCount(); ++i) {
                int y, mo, d, h, mi, s, ms;
                DecodeDateTime(x.Item(i).FileDate, y, mo, d, h, mi, s, ms);
                std::printf("%s\t%lld\t%04d-%02d-%02d %02d:%02d:%02d\n",
                            Utf8(x.Item(i).WideFileName).c_str(),
                            static_cast<long long>(x.Item(i).FileSize), y, mo, d, h, mi, s);
            }
            return 0;
        }
        if (args.size() < 4) return 2;
        x.DestinationPath = args[3];
        return x.Extract(false) && x.LastError() == 0 ? 0 : 1;
    }
    if (command == L"zip" && args.size() == 4) return ZipFile(args[2], args[3]) ? 0 : 1;
    if (command == L"unzip" && args.size() == 4) return UnZipFile(args[2], args[3]) ? 0 : 1;
    return 2;
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
