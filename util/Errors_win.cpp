// The system's texts for its error codes.

#include <windows.h>

#include "util/Errors.h"

std::wstring SystemErrorMessage(std::uint32_t code, const wchar_t* unknown) {
    wchar_t* buffer = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    std::wstring text = n && buffer ? std::wstring(buffer, n) : std::wstring();
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    if (text.empty()) text = unknown;
    return text;
}

std::wstring LastErrorReason() {
    std::wstring reason = SystemErrorMessage(GetLastError());
    if (!reason.empty() && reason.back() == L'.') reason.pop_back();
    return reason;
}

void RaiseLastOSError() {
    DWORD code = GetLastError();
    throw EOSError(code, L"Błąd systemu (kod " + std::to_wstring(code) + L"): " +
                             SystemErrorMessage(code));
}
