// The utilities that need the platform: files, processes, the tick counter, the clock and
// the message boxes.

#include <windows.h>
#include <tlhelp32.h>

#include "gui/Application.h"
#include "util/Bleeper.h"
#include "util/LocalTime.h"
#include "util/pres.h"

#include <cstddef>
#include <type_traits>
#include <vector>

bool SoundsEnabled = true;

TDateTime Now() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return EncodeDateTime(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond,
                          t.wMilliseconds);
}

std::wstring CompactTimestamp() {
    return CompactTimestamp(Now());
}

bool GetFileInfo(const std::wstring& path, std::int32_t& size, TDateTime& date) {
    bool result = true;
    const std::wstring name = ExtractFileName(path);
    const std::wstring folder = ExtractFilePath(path);

    wchar_t current[MAX_PATH + 1] = {};
    DWORD n = GetCurrentDirectoryW(MAX_PATH + 1, current);
    const std::wstring saved(current, n <= MAX_PATH ? n : 0);
    const bool switchFolder = saved != folder;
    bool inFolder = true;
    if (switchFolder && !folder.empty()) inFolder = SetCurrentDirectoryW(folder.c_str()) != 0;

    WIN32_FIND_DATAW found{};
    HANDLE search = INVALID_HANDLE_VALUE;
    try {
        // A folder that cannot be entered holds nothing we can see: the file counts as
        // missing rather than being looked up in whatever folder is current.
        if (inFolder) search = FindFirstFileW(name.c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            size = static_cast<std::int32_t>(found.nFileSizeLow);
            if (!FileTimeToLocal(found.ftLastWriteTime, date)) result = false;
        } else {
            size = 0;
            date = StrToDate(L"1900-01-01");
        }
    } catch (...) {
        result = false;
    }
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    if (switchFolder && !folder.empty()) SetCurrentDirectoryW(saved.c_str());
    return result;
}

std::int32_t GetFileSizeBySeek(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return -1;
    DWORD low = SetFilePointer(h, 0, nullptr, FILE_END);
    CloseHandle(h);
    return static_cast<std::int32_t>(low);
}

namespace {

// The calls are looked up by name, so their pointer types come from the header's own
// declarations: a mismatch in arguments or calling convention fails to compile.
using SnapshotFn = decltype(&::CreateToolhelp32Snapshot);
using ProcessStepFn = decltype(&::Process32FirstW);
static_assert(std::is_same_v<ProcessStepFn, decltype(&::Process32NextW)>);
static_assert(std::is_same_v<SnapshotFn, HANDLE(WINAPI*)(DWORD, DWORD)>);
static_assert(std::is_same_v<ProcessStepFn, BOOL(WINAPI*)(HANDLE, LPPROCESSENTRY32W)>);
#if defined(_WIN64)
static_assert(sizeof(PROCESSENTRY32W) == 568);
static_assert(offsetof(PROCESSENTRY32W, th32DefaultHeapID) == 16);
static_assert(offsetof(PROCESSENTRY32W, th32ModuleID) == 24);
static_assert(offsetof(PROCESSENTRY32W, cntThreads) == 28);
static_assert(offsetof(PROCESSENTRY32W, szExeFile) == 44);
#else
// The shipped 32-bit program: the record the snapshot fills, and WINAPI being __stdcall,
// which is a type of its own there (a __cdecl pointer would not convert).
static_assert(sizeof(PROCESSENTRY32W) == 556);
static_assert(offsetof(PROCESSENTRY32W, th32DefaultHeapID) == 12);
static_assert(offsetof(PROCESSENTRY32W, th32ModuleID) == 16);
static_assert(offsetof(PROCESSENTRY32W, cntThreads) == 20);
static_assert(offsetof(PROCESSENTRY32W, szExeFile) == 36);
static_assert(!std::is_same_v<SnapshotFn, HANDLE(__cdecl*)(DWORD, DWORD)>);
#endif
static_assert(offsetof(PROCESSENTRY32W, dwSize) == 0);
static_assert(offsetof(PROCESSENTRY32W, th32ProcessID) == 8);
static_assert(sizeof(PROCESSENTRY32W::szExeFile) / sizeof(wchar_t) == MAX_PATH);
static_assert(TH32CS_SNAPPROCESS == 2);

struct ProcessApi {
    std::wstring module = L"kernel32.dll";
    bool looked = false;
    SnapshotFn snapshot = nullptr;
    ProcessStepFn first = nullptr;
    ProcessStepFn next = nullptr;
};

ProcessApi& ProcessApiCache() {
    static ProcessApi api;
    return api;
}

// The process-list calls are looked up by name at first use.
const ProcessApi& GetProcessApi() {
    ProcessApi& a = ProcessApiCache();
    if (!a.looked) {
        a.looked = true;
        if (HMODULE k = GetModuleHandleW(a.module.c_str())) {
            a.snapshot = reinterpret_cast<SnapshotFn>(
                reinterpret_cast<void*>(GetProcAddress(k, "CreateToolhelp32Snapshot")));
            a.first = reinterpret_cast<ProcessStepFn>(
                reinterpret_cast<void*>(GetProcAddress(k, "Process32FirstW")));
            a.next = reinterpret_cast<ProcessStepFn>(
                reinterpret_cast<void*>(GetProcAddress(k, "Process32NextW")));
        }
    }
    return a;
}

std::wstring LowerAsciiLetters(std::wstring s) {
    for (wchar_t& c : s)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
    return s;
}

} // namespace

void SetProcessListModule(const std::wstring& module) {
    ProcessApiCache() = ProcessApi{module};
}

bool IsProcessRunning(const std::wstring& name) {
    const ProcessApi& api = GetProcessApi();
    if (!api.snapshot || !api.first || !api.next) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        RaiseLastOSError();
    }
    HANDLE snap = api.snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) RaiseLastOSError();
    const std::wstring wanted = LowerAsciiLetters(name);
    bool found = false;
    // The record's size field is the platform's size of the record (checked above).
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    if (!wanted.empty()) {
        for (BOOL more = api.first(snap, &entry); more && !found; more = api.next(snap, &entry)) {
            std::wstring image(entry.szExeFile, wcsnlen(entry.szExeFile, MAX_PATH));
            found = LowerAsciiLetters(image).compare(0, wanted.size(), wanted) == 0;
        }
    }
    CloseHandle(snap);
    return found;
}

void WaitMs(std::int32_t ms) {
    const DWORD start = GetTickCount();
    // Polls the tick counter without handling window messages; the short sleeps between the
    // readings only spare the processor.
    while (static_cast<std::int64_t>(GetTickCount() - start) < ms)
        Sleep(1);
}

// ---- Messages and sound signals ------------------------------------------------------

bool ReportIf(bool condition, const std::wstring& message, std::uint8_t sound, std::uint8_t kind) {
    if (!condition) return false;
    if (sound != 8) SoundSignal(sound);
    const auto boxKind = kind <= 4 ? static_cast<gui::MsgKind>(kind) : gui::MsgKind::Plain;
    gui::ShowMessageBox(boxKind, message);
    return true;
}

void ShowInfo(const std::wstring& message) {
    gui::ShowMessageBox(gui::MsgKind::Information, message);
}

namespace {

struct Tone {
    std::uint16_t frequency;
    std::int32_t ms;
};

std::vector<Tone> ToneSequence(std::uint8_t kind) {
    std::vector<Tone> seq;
    switch (kind) {
    case 0:
        seq = {{55, 200}};
        break;
    case 1:
        seq = {{2456, 185}, {1081, 19}, {975, 74}, {2319, 88}};
        break;
    case 2:
        seq = {{600, 102}, {1100, 185}, {800, 88}, {800, 5}};
        break;
    case 3:
        seq = {{300, 74}, {1800, 33}, {462, 46}, {600, 5}};
        break;
    case 4:
        seq = {{300, 150}, {1800, 80}, {600, 100}};
        break;
    case 5:
        for (int twice = 0; twice < 2; ++twice)
            seq.insert(seq.end(), {{800, 90}, {250, 30}, {55, 60}, {1600, 70}});
        break;
    case 6:
        seq.push_back({55, 300});
        for (int n = 20; n >= 1; --n)
            seq.push_back({static_cast<std::uint16_t>(600 - 20 * n), 35});
        break;
    case 7:
        for (int n = 1; n <= 20; ++n)
            seq.push_back({static_cast<std::uint16_t>(600 - 20 * n), 35});
        seq.push_back({55, 300});
        break;
    default:
        break;
    }
    return seq;
}

} // namespace

void SoundSignal(std::uint8_t kind) {
    if (!SoundsEnabled || kind > 7) return;
    for (const Tone& t : ToneSequence(kind))
        PlayTone(t.frequency, t.ms);
}
