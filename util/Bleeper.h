#pragma once
// Single tones: the platform's Beep on the NT family, the PC speaker's timer ports on the
// 9x family.

#include <cstdint>
#include <functional>

// True on the NT platform family; set once before the program's first step.
extern bool IsNtPlatform;

// Asks the system for its platform family and sets IsNtPlatform. Runs before main.
void DetectPlatformFamily();

// Plays one tone. Range failures (ERangeError): "Bleeper: MSecs < -1" for a duration below
// -1 (tested first), "Bleeper: Freq < 37" (NT) or "Bleeper: Freq < 20" (9x) and
// "Bleeper: Freq > 20000".
void PlayTone(std::uint16_t frequency, std::int32_t milliseconds);

// The 9x path writes bytes to I/O ports; tests replace the writer (and the NT tone call) to
// see what would be sent. Passing an empty function restores the real one.
using PortWriter = std::function<void(std::uint16_t port, std::uint8_t value)>;
using ToneCall = std::function<void(std::uint32_t frequency, std::uint32_t milliseconds)>;
void SetPortWriter(PortWriter writer);
void SetToneCall(ToneCall call);
