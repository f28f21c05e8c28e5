#include "util/Bleeper.h"

#include <windows.h>
#if defined(_MSC_VER)
#include <intrin.h>
#endif

#include <cstddef>
#include <string>
#include <type_traits>

#include "gui/Application.h"
#include "util/Errors.h"

bool IsNtPlatform = true;

// The version record and call as the platform declares them, alike in both builds; the
// record's size field must be the platform's own size or the query fails.
static_assert(sizeof(OSVERSIONINFOW) == 276);
static_assert(offsetof(OSVERSIONINFOW, dwOSVersionInfoSize) == 0);
static_assert(offsetof(OSVERSIONINFOW, dwMajorVersion) == 4);
static_assert(offsetof(OSVERSIONINFOW, dwPlatformId) == 16);
static_assert(offsetof(OSVERSIONINFOW, szCSDVersion) == 20);
static_assert(VER_PLATFORM_WIN32_NT == 2);
static_assert(std::is_same_v<decltype(&::GetVersionExW), BOOL(WINAPI*)(LPOSVERSIONINFOW)>);

void DetectPlatformFamily() {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)
#endif
    BOOL ok = GetVersionExW(&info);
    IsNtPlatform = ok && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

namespace {

// The platform family is known before the program's first step.
const bool platformDetected = (DetectPlatformFamily(), true);

// Writes one byte to an I/O port. Only the 9x family lets a program do so; it is never
// called on the NT family.
void WritePort(std::uint16_t port, std::uint8_t value) {
#if defined(_MSC_VER) && defined(_M_IX86)
    __outbyte(port, value);
#elif (defined(__GNUC__) || defined(__clang__)) && (defined(__i386__) || defined(__x86_64__))
    __asm__ __volatile__("outb %0, %1" : : "a"(value), "Nd"(port));
#else
    (void)port;
    (void)value;
#endif
}

PortWriter& CurrentPortWriter() {
    static PortWriter writer;
    return writer;
}

ToneCall& CurrentToneCall() {
    static ToneCall call;
    return call;
}

void Out(std::uint16_t port, std::uint8_t value) {
    if (CurrentPortWriter()) {
        CurrentPortWriter()(port, value);
    } else {
        WritePort(port, value);
    }
}

// Waits on the tick counter; long tones keep the windows responsive.
void ToneWait(std::int32_t ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD now = GetTickCount();
        const DWORD elapsed = now >= start ? now - start : 0xFFFFFFFFu - start + now;
        if (static_cast<std::int64_t>(elapsed) >= ms) break;
        if (ms > 1000) gui::Application::Instance().ProcessMessages();
    }
}

} // namespace

void SetPortWriter(PortWriter writer) {
    CurrentPortWriter() = std::move(writer);
}
void SetToneCall(ToneCall call) {
    CurrentToneCall() = std::move(call);
}

void PlayTone(std::uint16_t frequency, std::int32_t milliseconds) {
    (void)platformDetected;
    if (milliseconds < -1) throw ERangeError(L"Bleeper: MSecs < -1");
    const int lowest = IsNtPlatform ? 37 : 20;
    if (frequency < lowest) throw ERangeError(L"Bleeper: Freq < " + std::to_wstring(lowest));
    if (frequency > 20000) throw ERangeError(L"Bleeper: Freq > 20000");
    if (IsNtPlatform) {
        const auto ms = static_cast<std::uint32_t>(milliseconds);
        if (CurrentToneCall()) {
            CurrentToneCall()(frequency, ms);
        } else {
            Beep(frequency, ms);
        }
        return;
    }
    const std::uint32_t divisor = 1193181u / frequency;
    Out(0x61, 3);
    Out(0x43, 0xB6);
    Out(0x42, static_cast<std::uint8_t>(divisor & 0xFF));
    Out(0x42, static_cast<std::uint8_t>((divisor >> 8) & 0xFF));
    if (milliseconds >= 0) {
        ToneWait(milliseconds);
        Out(0x61, 0);
    }
}
