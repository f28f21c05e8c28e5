// The ZIP pair on an archive bigger than this test could hold twice in memory: 300 MiB of
// generated data packed, unpacked and compared, while the process's peak working set stays
// within a few buffers of where it started. A program of its own, so that the peak is this
// test's alone.

#include <gtest/gtest.h>

#include <windows.h>

#include <psapi.h>

#include <cstdint>
#include <string>

#include "TestFolder.h"
#include "pack/ZipFiles.h"

namespace {

constexpr std::size_t kBlock = 1 << 20;
constexpr int kBlocks = 300;

// Block i of the data: runs of text and of noise, so that it packs to about half.
void FillBlock(int i, std::string& block) {
    std::uint32_t x = 2166136261u ^ static_cast<std::uint32_t>(i);
    for (std::size_t at = 0; at < block.size(); at += 4096) {
        x = x * 1664525u + 1013904223u;
        const bool noise = (x >> 28) < 7;
        for (std::size_t k = at; k < at + 4096; ++k) {
            x = x * 1664525u + 1013904223u;
            block[k] = noise ? static_cast<char>(x >> 24)
                             : "korekta adresu serwera aktualizacji "[(k + i) % 36];
        }
    }
}

std::uint64_t PeakWorkingSet() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakWorkingSetSize;
}

std::uint64_t WorkingSet() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.WorkingSetSize;
}

TEST(ZipPairLarge, ThreeHundredMebibytesPassWithFlatMemory) {
    TestFolder dir;
    const auto source = dir / L"large.bin";
    std::string block(kBlock, '\0'), read(kBlock, '\0');
    {
        HANDLE h = CreateFileW(source.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        for (int i = 0; i < kBlocks; ++i) {
            FillBlock(i, block);
            DWORD put = 0;
            ASSERT_TRUE(WriteFile(h, block.data(), kBlock, &put, nullptr) && put == kBlock);
        }
        CloseHandle(h);
    }
    const std::uint64_t start = WorkingSet();

    ASSERT_TRUE(ZipFile(dir / L"large.zip", source));
    WIN32_FILE_ATTRIBUTE_DATA info;
    ASSERT_TRUE(GetFileAttributesExW((dir / L"large.zip").c_str(), GetFileExInfoStandard, &info));
    EXPECT_EQ(info.nFileSizeHigh, 0u);
    EXPECT_LT(info.nFileSizeLow, kBlocks * kBlock * 3 / 4);
    EXPECT_GT(info.nFileSizeLow, kBlocks * kBlock / 4);
    DeleteFileW(source.c_str());
    ASSERT_TRUE(UnZipFile(dir / L"large.zip", dir / L"out"));

    const auto target = dir / L"out\\large.bin";
    HANDLE h = CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    int differing = -1;
    for (int i = 0; i < kBlocks && differing < 0; ++i) {
        FillBlock(i, block);
        DWORD got = 0;
        if (!ReadFile(h, read.data(), kBlock, &got, nullptr) || got != kBlock || read != block)
            differing = i;
    }
    DWORD got = 1;
    EXPECT_TRUE(ReadFile(h, read.data(), kBlock, &got, nullptr) && got == 0) << "longer";
    CloseHandle(h);
    EXPECT_EQ(differing, -1) << "the first differing block";

    // Both runs together rose by less than a tenth of the data.
    const std::uint64_t peak = PeakWorkingSet();
    EXPECT_LT(peak, start + (24u << 20))
        << "peak " << (peak >> 20) << " MiB, start " << (start >> 20) << " MiB";
}

} // namespace
