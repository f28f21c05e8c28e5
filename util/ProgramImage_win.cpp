// The program-image check over a file on disk.

#include <windows.h>

#include "util/Errors.h"
#include "util/ProgramImage.h"
#include "util/pres.h"

ProgramImage ExamineProgramFile(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw EInOutError(L"Nie można otworzyć pliku " + path + L": " + LastErrorReason() + L".");
    struct Closer {
        HANDLE h;
        ~Closer() { CloseHandle(h); }
    } closer{h};
    const auto unreadable = [&path] {
        return EInOutError(L"Nie można odczytać pliku " + path + L": " + LastErrorReason() + L".");
    };
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(h, &size)) throw unreadable();
    return CheckProgramImage(static_cast<std::uint64_t>(size.QuadPart),
                             [&](std::uint64_t offset, std::size_t count, unsigned char* out) {
                                 LARGE_INTEGER at{};
                                 at.QuadPart = static_cast<LONGLONG>(offset);
                                 DWORD got = 0;
                                 if (!SetFilePointerEx(h, at, nullptr, FILE_BEGIN) ||
                                     !ReadFile(h, out, static_cast<DWORD>(count), &got, nullptr) ||
                                     got != count)
                                     throw unreadable();
                             });
}
