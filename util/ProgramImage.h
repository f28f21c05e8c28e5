#pragma once
// Whether a file is a complete Windows program image: "MZ" header, a PE header inside the
// file, a known optional-header kind, a section table and every section's raw data inside
// the file. Only the headers and the section table are read, each by offset with a bounded
// read; no structure is laid over raw bytes. Needs no platform: the caller supplies the
// reads.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// Copies count bytes from offset into out. The check asks only for bytes inside the size it
// was given; a read that cannot be done throws (the check passes the failure on).
using ImageReader =
    std::function<void(std::uint64_t offset, std::size_t count, unsigned char* out)>;

struct ProgramImage {
    bool valid = false;
    std::uint16_t machine = 0; // the file header's machine type (when valid)
    std::wstring problem;      // what is wrong, in Polish (when not valid)
};

inline constexpr std::uint16_t kMachineI386 = 0x014C;
inline constexpr std::uint16_t kMachineAmd64 = 0x8664;
inline constexpr std::uint16_t kMachineArm64 = 0xAA64;

// Examines a file of fileSize bytes through read.
ProgramImage CheckProgramImage(std::uint64_t fileSize, const ImageReader& read);
// The same over bytes in memory.
ProgramImage CheckProgramImage(std::string_view bytes);
// The file at path, read by offset (Windows only, util/ProgramImage_win.cpp). A file that
// cannot be opened or read raises EInOutError naming it and the system's reason.
ProgramImage ExamineProgramFile(const std::wstring& path);
// The processor a machine type names: "x86", "x64", "ARM64", ...; otherwise
// "nieznanego typu (0x....)", to follow "procesora".
std::wstring MachineName(std::uint16_t machine);
