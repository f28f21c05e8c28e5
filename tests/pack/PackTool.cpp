// The packing operations from the command line, for the cross-checks against the native
// archivers: pack, list and unpack cabinets, zip and unzip single files. Exit code 0 on
// success. Paths are Windows paths.

#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "gui/Application.h"
#include "pack/CabEngine.h"
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

int Run(const std::vector<std::wstring>& args) {
    if (args.size() < 3) return 2;
    const std::wstring& command = args[1];
    if (command == L"pack") {
        TCabCompressor c;
        c.OnError = [](TCabComponent&, std::uint16_t code) {
            std::fprintf(stderr, "error %u\n", code);
        };
        c.FileName = args[2];
        if (args.size() > 3 && args[3] == L"--none") c.CompressionType = cctNone;
        for (std::size_t i = 3; i < args.size(); ++i)
            if (args[i] != L"--none") c.AddFile(ToAnsi(args[i]), "");
        return c.Compress() && c.LastError() == 0 ? 0 : 1;
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
                            Utf8(FromAnsi(x.Item(i).FileName)).c_str(),
                            static_cast<long long>(x.Item(i).FileSize), y, mo, d, h, mi, s);
            }
            return 0;
        }
        if (args.size() < 4) return 2;
        x.DestinationPath = ToAnsi(args[3]);
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
