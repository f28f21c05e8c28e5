#include <gtest/gtest.h>

#include <windows.h>

#include "TestFolder.h"
#include "util/DhExch.h"
#include "util/pres.h"

namespace {

std::wstring CurrentFolder() {
    wchar_t buf[MAX_PATH + 1];
    DWORD n = GetCurrentDirectoryW(MAX_PATH + 1, buf);
    return std::wstring(buf, n);
}

TEST(GetFileInfo, DatesSizesAndTheCurrentFolderRestored) {
    TestFolder dir;
    const std::wstring before = dir.Write(L"before.exe", std::string(1000, 'x'));
    const std::wstring on = dir.Write(L"on.exe", "abc");
    SetFileLocalTime(before, 2021, 5, 15, 23, 59);
    SetFileLocalTime(on, 2021, 5, 16, 0, 1);
    const std::wstring cwd = CurrentFolder();

    std::int32_t size = -7;
    TDateTime date = 0;
    ASSERT_TRUE(GetFileInfo(before, size, date));
    EXPECT_EQ(size, 1000);
    EXPECT_EQ(DateToStr(date), L"2021-05-15");
    EXPECT_EQ(FormatDateTime(L"hh:nn", date), L"23:59");
    ASSERT_TRUE(GetFileInfo(on, size, date));
    EXPECT_EQ(size, 3);
    EXPECT_EQ(DateToStr(date), L"2021-05-16");
    EXPECT_EQ(CurrentFolder(), cwd);

    // A missing file is no failure.
    ASSERT_TRUE(GetFileInfo(dir / L"missing.exe", size, date));
    EXPECT_EQ(size, 0);
    EXPECT_EQ(DateToStr(date), L"1900-01-01");
    // A folder that does not exist: missing too, and the current folder stays.
    ASSERT_TRUE(GetFileInfo(dir / L"no\\such\\on.exe", size, date));
    EXPECT_EQ(size, 0);
    EXPECT_EQ(CurrentFolder(), cwd);
}

TEST(GetFileInfo, APathWithoutFolderIsSearchedInTheCurrentFolder) {
    TestFolder dir;
    dir.Write(L"here.txt", "12345");
    const std::wstring cwd = CurrentFolder();
    ASSERT_TRUE(SetCurrentDirectoryW(dir.Path().c_str()));
    std::int32_t size = 0;
    TDateTime date = 0;
    EXPECT_TRUE(GetFileInfo(L"here.txt", size, date));
    EXPECT_EQ(size, 5);
    EXPECT_EQ(CurrentFolder() + L"\\", dir.Path());
    SetCurrentDirectoryW(cwd.c_str());
}

TEST(GetFileSizeBySeek, SizeOrMinusOneWhenTheFileCannotBeOpened) {
    TestFolder dir;
    const std::wstring file = dir.Write(L"f.bin", std::string(1000, 'a'));
    EXPECT_EQ(GetFileSizeBySeek(file), 1000);
    EXPECT_EQ(GetFileSizeBySeek(dir / L"missing.bin"), -1);
    HANDLE held = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSizeBySeek(file), -1); // another handle is open
    CloseHandle(held);
    EXPECT_EQ(GetFileSizeBySeek(file), 1000);
}

TEST(CopyFileTo, KeepsTheSourceDateAndHonoursFailIfExists) {
    TestFolder dir;
    const std::wstring src = dir.Write(L"src.exe", "new bytes");
    const std::wstring dst = dir.Write(L"dst.exe", "old");
    SetFileLocalTime(src, 2020, 3, 4, 5, 6, 8);

    EXPECT_FALSE(CopyFileTo(src, dst, true));
    EXPECT_EQ(ReadFileBytes(dst), "old");
    EXPECT_TRUE(CopyFileTo(src, dst, false));
    EXPECT_EQ(ReadFileBytes(dst), "new bytes");
    std::int32_t size = 0;
    TDateTime date = 0;
    GetFileInfo(dst, size, date);
    EXPECT_EQ(DateTimeToStr(date), L"2020-03-04 05:06:08");
    EXPECT_FALSE(CopyFileTo(dir / L"missing", dir / L"x", false));
    EXPECT_FALSE(FileExists(dir / L"x"));
}

// Started as a child process by the test below: waits until it is ended.
TEST(DISABLED_ProcessProbe, Sleep) {
    Sleep(30000);
}

TEST(IsProcessRunning, APrefixOfTheImageNameInAnyLetterCase) {
    TestFolder dir;
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring probe = dir / L"KorekProbe.exe.old";
    ASSERT_TRUE(CopyFileW(self, probe.c_str(), FALSE));

    EXPECT_FALSE(IsProcessRunning(L"korekprobe"));
    std::wstring cmd = L"\"" + probe +
                       L"\" --gtest_also_run_disabled_tests --gtest_filter=DISABLED_ProcessProbe.*";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(probe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &si, &pi));
    bool seen = false;
    for (int i = 0; i < 100 && !seen; ++i) {
        seen = IsProcessRunning(L"KOREKPROBE.EXE");
        if (!seen) Sleep(50);
    }
    EXPECT_TRUE(seen);
    EXPECT_TRUE(IsProcessRunning(L"korekprobe.exe.o"));
    EXPECT_FALSE(IsProcessRunning(L"orekprobe")); // only a prefix counts
    EXPECT_FALSE(IsProcessRunning(L""));
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 10000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    bool gone = false;
    for (int i = 0; i < 100 && !gone; ++i) {
        gone = !IsProcessRunning(L"korekprobe");
        if (!gone) Sleep(50);
    }
    EXPECT_TRUE(gone);
}

// Without the process-list calls (a kernel32 that lacks them, reproduced by looking them
// up in ntdll) the list cannot be taken: a failure with the code and the system's text, for
// an empty name too; with them back the next call works.
TEST(IsProcessRunning, NoProcessListIsAFailureWithTheSystemsReason) {
    struct Restore {
        ~Restore() { SetProcessListModule(L"kernel32.dll"); }
    } restore;
    SetProcessListModule(L"ntdll.dll");
    for (const wchar_t* name : {L"korekta", L""}) {
        std::uint32_t code = 0;
        std::wstring failure;
        try {
            IsProcessRunning(name);
        } catch (const EOSError& e) {
            code = e.Code();
            failure = e.Message();
        }
        EXPECT_EQ(code, 127u);
        EXPECT_EQ(failure.rfind(L"Błąd systemu (kod 127): ", 0), 0u) << ToUtf8(failure);
    }
    SetProcessListModule(L"kernel32.dll");
    EXPECT_FALSE(IsProcessRunning(L"no-such-program-here"));
}

TEST(WaitMs, WaitsAtLeastTheTimeAndReturnsAtOnceForNothing) {
    DWORD start = GetTickCount();
    WaitMs(500);
    DWORD took = GetTickCount() - start;
    EXPECT_GE(took, 500u);
    EXPECT_LT(took, 1500u);
    start = GetTickCount();
    WaitMs(0);
    WaitMs(-5);
    EXPECT_LT(GetTickCount() - start, 50u);
}

} // namespace
