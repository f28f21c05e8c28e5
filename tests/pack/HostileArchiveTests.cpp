// Hostile archives (tests/pack/fixtures, written by make_fixtures.py), each named after the
// defect it carries, with the result each must give. Whatever the answer, nothing is ever
// written outside the destination. Also the ZIP pair on its own archives.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "TestFolder.h"
#include "gui/Headless.h"
#include "pack/Unv_MZip.h"
#include "pack/ZipFiles.h"

namespace {

std::wstring FixturePath(const std::wstring& name) {
    const char* root = std::getenv("KOREKTA_SOURCE_DIR");
    std::string path = root ? root : "";
    // The source folder is a host path; wine maps the host root to drive Z:.
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    std::wstring wide(path.begin(), path.end());
    for (wchar_t& c : wide)
        if (c == L'/') c = L'\\';
    return wide + L"\\tests\\pack\\fixtures\\" + name;
}

// Every file below folder, as paths relative to it.
void ListFiles(const std::wstring& folder, const std::wstring& prefix,
               std::vector<std::wstring>& out) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((folder + L"*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListFiles(folder + name + L"\\", prefix + name + L"\\", out);
        else
            out.push_back(prefix + name);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
}

// Sorted, whatever order the file system lists them in.
std::vector<std::wstring> FilesIn(const std::wstring& folder) {
    std::vector<std::wstring> out;
    ListFiles(folder, L"", out);
    std::sort(out.begin(), out.end());
    return out;
}

// The roots of the drives an absolute or drive-relative name could reach (Z: is the host's
// root): no hostile file ("evil_" something) may be there. The destination's parents are
// checked by the callers.
void ExpectNoEscape() {
    for (const wchar_t* root : {L"C:\\", L"Z:\\"}) {
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW((std::wstring(root) + L"evil_*").c_str(), &fd);
        EXPECT_EQ(h, INVALID_HANDLE_VALUE) << root << fd.cFileName;
        if (h != INVALID_HANDLE_VALUE) FindClose(h);
    }
}

enum class Cab {
    SkipsTheEntry, // the hostile file is skipped with error 8, the good one is written, and
                   // the run answers no
    NotACabinet,   // not taken for a cabinet: nothing listed, nothing written
    CopyFails,     // the copy fails with an error; no cut-short file is left
    MultiPart,     // refused with "MultiPart Cab Files not supported"
    ListingFails,  // taken for a cabinet, but its listing fails: an error, nothing listed
};

TEST(HostileCabinet, EachFixtureGivesItsResultAndNothingLeavesTheDestination) {
    struct Case {
        const wchar_t* fixture;
        Cab result;
    } cases[] = {
        {L"dotdot_backslash.cab", Cab::SkipsTheEntry},
        {L"dotdot_slash.cab", Cab::SkipsTheEntry},
        {L"dotdot_mixed_separators.cab", Cab::SkipsTheEntry},
        {L"absolute_name.cab", Cab::SkipsTheEntry},
        {L"drive_name.cab", Cab::SkipsTheEntry},
        {L"unc_name.cab", Cab::SkipsTheEntry},
        {L"colon_name.cab", Cab::SkipsTheEntry},
        {L"trailing_dot.cab", Cab::SkipsTheEntry},
        {L"device_name.cab", Cab::SkipsTheEntry},
        // Names that become unsafe in the form a code page's best fit gives them, devices
        // once normalised, and names with no exact form.
        {L"fullwidth_dotdot_backslash.cab", Cab::SkipsTheEntry},
        {L"fullwidth_dotdot_slash.cab", Cab::SkipsTheEntry},
        {L"division_slash_dotdot.cab", Cab::SkipsTheEntry},
        {L"set_minus_dotdot.cab", Cab::SkipsTheEntry},
        {L"fullwidth_colon_drive.cab", Cab::SkipsTheEntry},
        {L"ratio_colon_stream.cab", Cab::SkipsTheEntry},
        {L"ideographic_space_end.cab", Cab::SkipsTheEntry},
        {L"fullwidth_device.cab", Cab::SkipsTheEntry},
        {L"space_before_extension_device.cab", Cab::SkipsTheEntry},
        {L"superscript_device_utf8.cab", Cab::SkipsTheEntry},
        {L"superscript_device_ansi.cab", Cab::SkipsTheEntry},
        {L"console_device.cab", Cab::SkipsTheEntry},
        {L"forbidden_character.cab", Cab::SkipsTheEntry},
        {L"invalid_utf8_name.cab", Cab::SkipsTheEntry},
        {L"bad_signature.cab", Cab::NotACabinet},
        {L"truncated.cab", Cab::CopyFails},
        {L"checksum_mismatch.cab", Cab::CopyFails},
        {L"lying_size.cab", Cab::CopyFails},
        {L"multipart_next.cab", Cab::MultiPart},
        {L"files_past_end.cab", Cab::ListingFails},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fixture);
        TestFolder dir;
        const std::wstring dest = dir / L"a\\b\\dest\\";
        TCabExtractor x;
        x.Options = dcoForceDirectories;
        std::vector<std::uint16_t> errors;
        x.OnError = [&](TCabComponent&, std::uint16_t code) { errors.push_back(code); };
        x.DestinationPath = dest;
        const std::wstring path = FixturePath(c.fixture);
        ASSERT_TRUE(FileExists(path)) << "missing fixture";
        if (c.result == Cab::MultiPart) {
            // Refused by the assignment and by a run alike, before any event.
            std::vector<std::string> events;
            x.OnStart = [&](TCabComponent&) { events.push_back("start"); };
            x.OnFinish = [&](TCabComponent&) { events.push_back("finish"); };
            const std::function<void()> runs[] = {[&] { x.SetFileName(path); },
                                                  [&] { x.Extract(false); }};
            for (const auto& run : runs) {
                try {
                    run();
                    ADD_FAILURE() << "no failure";
                } catch (const ECabError& e) {
                    EXPECT_EQ(e.Message(), L"MultiPart Cab Files not supported");
                }
            }
            EXPECT_TRUE(events.empty());
            EXPECT_TRUE(errors.empty());
            EXPECT_TRUE(FilesIn(dir.Path()).empty());
            continue;
        }
        if (c.result == Cab::ListingFails) {
            EXPECT_TRUE(x.IsCabFile(path));
            x.SetFileName(path);
            ASSERT_EQ(errors.size(), 1u);
            EXPECT_NE(errors[0], 0);
            EXPECT_EQ(x.LastError(), errors[0]);
            EXPECT_EQ(x.FileCount(), 0);
            EXPECT_TRUE(FilesIn(dir.Path()).empty());
            continue;
        }
        if (c.result == Cab::NotACabinet) {
            EXPECT_FALSE(x.IsCabFile(path));
            x.SetFileName(path);
            EXPECT_EQ(x.FileCount(), 0);
            EXPECT_TRUE(FilesIn(dir.Path()).empty());
            continue;
        }
        x.SetFileName(path);
        if (c.result == Cab::SkipsTheEntry) {
            ASSERT_EQ(x.FileCount(), 2);
            EXPECT_FALSE(x.Extract(false));
            EXPECT_EQ(errors, (std::vector<std::uint16_t>{8}));
            EXPECT_EQ(x.LastError(), 8);
            EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::wstring>{L"a\\b\\dest\\good.txt"}));
            EXPECT_EQ(ReadFileBytes(dest + L"good.txt").size(), 19u * 20u);
        } else {
            EXPECT_FALSE(x.Extract(false));
            EXPECT_NE(x.LastError(), 0);
            // Only complete, intact files may be left.
            for (const auto& f : FilesIn(dir.Path()))
                EXPECT_EQ(f, L"a\\b\\dest\\good.txt");
        }
        ExpectNoEscape();
    }
}

TEST(HostileCabinet, PackingWindowShowsWhatEachFixtureGives) {
    struct Case {
        const wchar_t* fixture;
        std::wstring failure; // "" when DCompres returns
        std::vector<std::wstring> boxes;
        std::wstring result;            // L_CCmp at the end
        std::wstring first;             // the caller's variable afterwards
        std::vector<std::wstring> left; // files in the destination afterwards
    } cases[] = {
        {L"dotdot_backslash.cab", L"", {L"Błąd: 8"}, L"Errors occured", L"good.txt", {L"good.txt"}},
        {L"checksum_mismatch.cab", L"", {L"Błąd: 4"}, L"1 plików (380 bajtów", L"good.txt", {}},
        {L"multipart_next.cab",
         L"MultiPart Cab Files not supported",
         {},
         L"----",
         L"unchanged",
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fixture);
        TestFolder dir;
        const std::wstring dest = dir / L"dest\\";
        CreateDirectoryW(dest.c_str(), nullptr);
        TUnvFMZip window;
        gui::headless::ClearBoxes();
        std::wstring first = L"unchanged", failure;
        bool answer = false;
        try {
            answer = window.DCompres(FixturePath(c.fixture), dest, first);
        } catch (const Error& e) {
            failure = e.Message();
        }
        EXPECT_EQ(failure, c.failure);
        EXPECT_FALSE(answer);
        std::vector<std::wstring> boxes;
        for (const auto& box : gui::headless::TakeBoxes())
            boxes.push_back(box.text);
        EXPECT_EQ(boxes, c.boxes);
        EXPECT_EQ(window.L_CCmp.Text(), c.result);
        EXPECT_EQ(first, c.first);
        EXPECT_EQ(FilesIn(dest), c.left);
        EXPECT_FALSE(FileExists(dir / L"evil_dotdot_backslash.txt"));
    }
}

TEST(HostileZip, EachFixtureIsRefusedAndWritesNothing) {
    const wchar_t* fixtures[] = {
        L"dotdot_backslash.zip",
        L"dotdot_slash.zip",
        L"dotdot_mixed_separators.zip",
        L"absolute_name.zip",
        L"drive_name.zip",
        L"unc_name.zip",
        L"colon_name.zip",
        L"trailing_dot.zip",
        L"device_name.zip",
        L"nul_byte_name.zip",
        L"truncated.zip",
        L"bad_signature.zip",
        L"crc_mismatch.zip",
        L"lying_size_larger.zip",
        L"lying_size_smaller.zip",
        L"local_header_outside.zip",
        L"fullwidth_dotdot_backslash.zip",
        L"fullwidth_dotdot_slash.zip",
        L"division_slash_dotdot.zip",
        L"set_minus_dotdot.zip",
        L"fullwidth_colon_drive.zip",
        L"ratio_colon_stream.zip",
        L"ideographic_space_end.zip",
        L"fullwidth_device.zip",
        L"space_before_extension_device.zip",
        L"superscript_device_utf8.zip",
        L"superscript_device_ansi.zip",
        L"console_device.zip",
        L"forbidden_character.zip",
        L"crc_mismatch_last_of_three.zip",
    };
    for (const wchar_t* fixture : fixtures) {
        SCOPED_TRACE(fixture);
        TestFolder dir;
        const std::wstring path = FixturePath(fixture);
        ASSERT_TRUE(FileExists(path)) << "missing fixture";
        EXPECT_FALSE(UnZipFile(path, dir / L"a\\b\\dest"));
        EXPECT_TRUE(FilesIn(dir.Path()).empty());
        // Not even the folders on the way to the destination stay behind.
        EXPECT_EQ(GetFileAttributesW((dir / L"a").c_str()), INVALID_FILE_ATTRIBUTES);
        ExpectNoEscape();
    }
}

// An entry that fails after others were written, and a target that cannot be replaced
// after others were: either way no target has changed, and neither a temporary file nor a
// folder the run created is left.
TEST(ZipPair, AFailureHalfWayThroughLeavesEveryTargetAsItWas) {
    struct Case {
        const wchar_t* fixture;
        bool holdThree; // three.txt exists and is held open without sharing
    } cases[] = {
        {L"crc_mismatch_last_of_three.zip", false},
        {L"three_entries.zip", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fixture);
        TestFolder dir;
        const auto two = dir.Write(L"dest\\two.txt", "the old two");
        SetFileAttributesW(two.c_str(), FILE_ATTRIBUTE_READONLY);
        const DWORD attributes = GetFileAttributesW(two.c_str());
        std::vector<std::wstring> before{L"two.txt"};
        HANDLE held = INVALID_HANDLE_VALUE;
        if (c.holdThree) {
            const auto three = dir.Write(L"dest\\three.txt", "the old three");
            held = CreateFileW(three.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(held, INVALID_HANDLE_VALUE);
            before = {L"three.txt", L"two.txt"};
        }
        EXPECT_FALSE(UnZipFile(FixturePath(c.fixture), dir / L"dest"));
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        EXPECT_EQ(FilesIn(dir / L"dest\\"), before);
        EXPECT_EQ(ReadFileBytes(two), "the old two");
        EXPECT_EQ(GetFileAttributesW(two.c_str()), attributes);
        EXPECT_EQ(GetFileAttributesW((dir / L"dest\\sub").c_str()), INVALID_FILE_ATTRIBUTES);
        if (c.holdThree) {
            EXPECT_EQ(ReadFileBytes(dir / L"dest\\three.txt"), "the old three");
        }
        SetFileAttributesW(two.c_str(), FILE_ATTRIBUTE_NORMAL);
    }

    // Once nothing stands in the way, the same archive replaces the read-only file.
    TestFolder dir;
    const auto two = dir.Write(L"dest\\two.txt", "the old two");
    SetFileAttributesW(two.c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(UnZipFile(FixturePath(L"three_entries.zip"), dir / L"dest"));
    EXPECT_EQ(FilesIn(dir / L"dest\\"),
              (std::vector<std::wstring>{L"sub\\one.txt", L"three.txt", L"two.txt"}));
    const std::string text = ReadFileBytes(two);
    EXPECT_EQ(text.size(), 2u << 20);
    EXPECT_EQ(text.substr(0, 21), "line 0000 of a text\r\n");
    EXPECT_EQ(ReadFileBytes(dir / L"dest\\three.txt"), std::string(text.rbegin(), text.rend()));
}

TEST(ZipPair, RoundTripKeepsNameBytesTimeAndAttributes) {
    TestFolder dir;
    const std::string data = PatternBytes(50000, 9) + std::string(80000, 'z');
    const auto src = dir.Write(L"src\\Zażółć gęślą.bin", data);
    SetFileLocalTime(src, 2022, 11, 30, 23, 58, 44);
    SetFileAttributesW(src.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    dir.Write(L"out.zip", "an older archive that is replaced");

    TUnvFMZip window;
    ASSERT_TRUE(window.ZipFile(dir / L"out.zip", src));
    EXPECT_LT(ReadFileBytes(dir / L"out.zip").size(), data.size());
    ASSERT_TRUE(window.UnZipFile(dir / L"out.zip", dir / L"dest"));
    const auto target = dir / L"dest\\Zażółć gęślą.bin";
    EXPECT_EQ(ReadFileBytes(target), data);
    EXPECT_EQ(GetFileAttributesW(target.c_str()),
              DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    WIN32_FILE_ATTRIBUTE_DATA info;
    ASSERT_TRUE(GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &info));
    FILETIME local;
    SYSTEMTIME st;
    FileTimeToLocalFileTime(&info.ftLastWriteTime, &local);
    FileTimeToSystemTime(&local, &st);
    EXPECT_EQ((std::vector<int>{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond}),
              (std::vector<int>{2022, 11, 30, 23, 58, 44}));
    // A second unpacking replaces the read-only file it left.
    EXPECT_TRUE(window.UnZipFile(dir / L"out.zip", dir / L"dest"));
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesW(src.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(ZipPair, FailuresAnswerNo) {
    TestFolder dir;
    EXPECT_FALSE(ZipFile(dir / L"out.zip", dir / L"missing.bin"));
    EXPECT_FALSE(FileExists(dir / L"out.zip"));
    EXPECT_FALSE(ZipFile(dir / L"no\\such\\folder\\out.zip", dir.Write(L"a.txt", "a")));
    EXPECT_FALSE(UnZipFile(dir / L"absent.zip", dir / L"dest"));
    EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::wstring>{L"a.txt"}));

    // A source of 4 GiB (a sparse file) is too big for the format: the old archive stays.
    const auto big = dir / L"big.bin";
    {
        HANDLE h = CreateFileW(big.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        LARGE_INTEGER end;
        end.QuadPart = 4LL << 30;
        EXPECT_TRUE(SetFilePointerEx(h, end, nullptr, FILE_BEGIN) && SetEndOfFile(h));
        CloseHandle(h);
    }
    dir.Write(L"old.zip", "the old archive");
    EXPECT_FALSE(ZipFile(dir / L"old.zip", big));
    EXPECT_EQ(ReadFileBytes(dir / L"old.zip"), "the old archive");
    EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::wstring>{L"a.txt", L"big.bin", L"old.zip"}));
    DeleteFileW(big.c_str());
    // A target held open without sharing cannot be replaced.
    ASSERT_TRUE(ZipFile(dir / L"a.zip", dir / L"a.txt"));
    const auto held = dir.Write(L"dest\\a.txt", "held");
    HANDLE h = CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_FALSE(UnZipFile(dir / L"a.zip", dir / L"dest"));
    CloseHandle(h);
    EXPECT_EQ(ReadFileBytes(held), "held");
}

} // namespace
