#pragma once
// The common utilities: short-text conversions, text and path helpers, the blank test,
// file, date, process and wait helpers, the credential unscrambling routines, and the
// messages and sound signals.

#include <array>
#include <cstdint>
#include <string>

#include "util/DateTime.h"
#include "util/Errors.h"
#include "util/Utf8.h"

// ---- Short texts ---------------------------------------------------------------------
// A short text holds at most 255 bytes in code page 1250, on every Windows whatever its
// ANSI code page: the tool is Polish and its built-in scrambled values must decode alike
// everywhere. A character code page 1250 cannot hold becomes "?".
using ShortString = std::string;
inline constexpr std::size_t kShortTextMax = 255;

std::string ToCp1250(const std::wstring& text);    // no length limit
std::wstring FromCp1250(const std::string& bytes); // no length limit
ShortString ToShort(const std::wstring& text);     // cut after the 255th character
std::wstring FromShort(const ShortString& bytes);
// Upper and lower case of one code page 1250 byte (Polish letters included).
unsigned char AnsiUpperByte(unsigned char b);
unsigned char AnsiLowerByte(unsigned char b);

// ---- Text and path helpers -----------------------------------------------------------
std::wstring TrimSpaces(const std::wstring& text); // only the space character
std::wstring ReplaceChar(const std::wstring& text, wchar_t find, wchar_t put);
std::wstring RemoveChar(const std::wstring& text, wchar_t ch);
// Replaces find again and again, each search from the start; an empty find changes nothing.
std::wstring ReplaceAll(const std::wstring& text, const std::wstring& find,
                        const std::wstring& replacement);
// Trims spaces, cuts at 255 characters and appends "\" when the last character is not one
// (the sum cut at 255 again).
std::wstring WithBackslash(const ShortString& text);
// A folder path for joining names to: trims spaces and appends "\" when the last character
// is not one ("\" alone for an empty text). Every character is kept, at any length: local
// paths are never squeezed through a code page.
std::wstring FolderWithBackslash(const std::wstring& folder);
// Local date and time as "YYYYMMDDghhmmss" (the time separator of the regional settings
// stays between the time's parts; at exactly midnight only the date).
std::wstring CompactTimestamp();
// The same text for a given moment.
std::wstring CompactTimestamp(TDateTime moment);

// Path parts, split at the last "\" or ":".
std::wstring ExtractFileName(const std::wstring& path); // after the last "\" or ":"
std::wstring ExtractFilePath(const std::wstring& path); // up to and including it
// The extension of the file-name part from its last "." ("" when it has none).
std::wstring ExtractFileExt(const std::wstring& path);
// The path with the extension of its file-name part replaced (or ext appended).
std::wstring ChangeFileExt(const std::wstring& path, const std::wstring& ext);

// ---- Blank test, file, date, process and wait helpers --------------------------------
std::wstring RepeatChar(wchar_t ch, std::int32_t count); // at most 255 copies
bool IsBlank(const std::wstring& text);
// Looks the file up (the name is a search pattern) in its folder: size is the low 32 bits
// of its size, date its local last-write time; a missing file gives true, 0 and
// 1900-01-01. False when reading the found entry failed. The current folder is restored.
bool GetFileInfo(const std::wstring& path, std::int32_t& size, TDateTime& date);
// The file's size by opening it without sharing and seeking to its end; -1 when it cannot
// be opened.
std::int32_t GetFileSizeBySeek(const std::wstring& path);
std::wstring NormalizeDate(const std::wstring& text);
inline constexpr int kSplitFieldCount = 901;
using SplitFieldArray = std::array<std::wstring, kSplitFieldCount>;
void SplitFields(const std::wstring& text, wchar_t separator, SplitFieldArray& fields, int& count);
// Whether a process runs whose image name begins with name (A to Z compared without case).
// Raises EOSError when the process list cannot be taken.
bool IsProcessRunning(const std::wstring& name);
// Busy-waits on the tick counter; handles no window messages.
void WaitMs(std::int32_t ms);
// The local date and time now.
TDateTime Now();

// The system's message for an error code (no trailing line break); unknown when the system
// has none.
std::wstring SystemErrorMessage(std::uint32_t code, const wchar_t* unknown = L"nieznany błąd");
// The message of the calling thread's last system error without its closing period, to stand
// inside a sentence ("Nie można otworzyć pliku X: <reason>.").
std::wstring LastErrorReason();
// Raises EOSError for the calling thread's last system error: "Błąd systemu (kod N): text".
[[noreturn]] void RaiseLastOSError();

// ---- Credential unscrambling ---------------------------------------------------------
ShortString UnscrambleText(ShortString s, const ShortString& key, bool withMarks);
std::wstring UnscrambleDigits(const std::wstring& text);
std::wstring ToPolishLetters(const ShortString& bytes);
std::wstring GetField(std::wstring text, int n, wchar_t separator);
// The integer value of a numeric text (after TrimSpaces), 0 for any other text. A text that
// is numeric in form but no integer ("+", "1.5") raises EConvertError.
int ToIntOrZero(const std::wstring& text);
bool IsNumeric(const std::wstring& text);

// ---- Messages and sound signals ------------------------------------------------------
// Lets SoundSignal play; set from the program's start, nothing clears it.
extern bool SoundsEnabled;
// When condition holds: plays sound kind sound (8: none), shows a modal box of the given
// kind (0 warning, 1 error, 2 information, 3 confirmation, 4 plain) and returns true.
bool ReportIf(bool condition, const std::wstring& message, std::uint8_t sound, std::uint8_t kind);
// A modal information box with one OK button.
void ShowInfo(const std::wstring& message);
// Plays the tone sequence of kind 0 to 7; other kinds play nothing.
void SoundSignal(std::uint8_t kind);
