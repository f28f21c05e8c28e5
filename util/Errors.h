#pragma once
// The failure types of the system. A failure carries the text the user reads; the
// application's default handler shows it in an error box (EAbort shows nothing).
// This header needs no platform, so portable code may throw these too.

#include <cstdint>
#include <exception>
#include <string>

// Base of every failure the system raises on purpose.
class Error : public std::exception {
public:
    explicit Error(std::wstring message);
    const std::wstring& Message() const noexcept { return message_; }
    // UTF-8 form of Message(), for logs and test output.
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    std::wstring message_;
    std::string utf8_;
};

// Ends an operation silently: the default handler shows nothing for it.
class EAbort : public Error {
public:
    EAbort() : Error(L"Operation aborted") {}
};

// A value outside its permitted range (progress bar maximum, tone frequency).
class ERangeError : public Error {
    using Error::Error;
};

// A text that cannot be turned into the value asked for.
class EConvertError : public Error {
    using Error::Error;
};

// A system call failed; the text gives the code and the system's message for it.
class EOSError : public Error {
public:
    EOSError(std::uint32_t code, std::wstring message) : Error(std::move(message)), code_(code) {}
    std::uint32_t Code() const noexcept { return code_; }

private:
    std::uint32_t code_;
};

// A file could not be read or written; the text names the file and the reason.
class EInOutError : public Error {
    using Error::Error;
};

// ---- The system's error texts (Windows only: util/Errors_win.cpp) ----------------------
// The system's message for an error code (no trailing line break); unknown when the system
// has none.
std::wstring SystemErrorMessage(std::uint32_t code, const wchar_t* unknown = L"nieznany błąd");
// The message of the calling thread's last system error without its closing period, to stand
// inside a sentence ("Nie można otworzyć pliku X: <reason>.").
std::wstring LastErrorReason();
// Raises EOSError for the calling thread's last system error: "Błąd systemu (kod N): text".
[[noreturn]] void RaiseLastOSError();
