// The file-system helpers and the local-time conversions on real files.

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <vector>

#include "TestFolder.h"
#include "util/FileSystem.h"
#include "util/LocalTime.h"
#include "util/pres.h"

namespace {

// A handle held for the length of a test, closed at its end.
struct Held {
    HANDLE h;
    ~Held() {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};

HANDLE OpenWithoutSharing(const std::wstring& path) {
    return CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

TEST(FileSystem, FilesAndFoldersWithEitherSeparator) {
    TestFolder dir;
    const std::wstring file = dir.Write(L"sub\\a.txt", "abc");
    const std::wstring sub = dir / L"sub";
    std::wstring slashed = file;
    for (auto& c : slashed)
        if (c == L'\\') c = L'/';
    struct Case {
        std::wstring path;
        bool file, folder;
    } cases[] = {
        {file, true, false},
        {slashed, true, false},
        {file + L"\\", false, false}, // a trailing separator names a folder
        {sub, false, true},
        {sub + L"\\", false, true},
        {sub + L"/", false, true},
        {dir / L"missing.txt", false, false},
        {dir / L"no\\such\\a.txt", false, false},
        {L"", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.path));
        EXPECT_EQ(FileExists(c.path), c.file);
        EXPECT_EQ(FolderExists(c.path), c.folder);
    }
    // A file another program holds without sharing still exists.
    Held held{OpenWithoutSharing(file)};
    ASSERT_NE(held.h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(FileExists(file));
}

TEST(FileSystem, ALinkCountsOnlyWhileItLeadsSomewhere) {
    TestFolder dir;
    const std::wstring target = dir.Write(L"target.txt", "12345");
    const std::wstring link = dir / L"link.txt";
    // Wine reports links as made without making them.
    if (!CreateSymbolicLinkW(link.c_str(), target.c_str(), 0) ||
        GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "this system makes no symbolic links";
    EXPECT_TRUE(FileExists(link));
    EXPECT_EQ(FileSize(link), 5);
    ASSERT_TRUE(DeleteFileW(target.c_str()));
    EXPECT_FALSE(FileExists(link));
    EXPECT_FALSE(FolderExists(link));
    EXPECT_EQ(FileSize(link), -1);
    DeleteFileW(link.c_str());
}

TEST(FileSystem, MakeFoldersMakesEveryMissingParentOnce) {
    TestFolder dir;
    std::vector<std::wstring> created;
    MakeFolders(dir / L"a\\b/c\\", &created);
    EXPECT_TRUE(FolderExists(dir / L"a\\b\\c"));
    EXPECT_EQ(created, (std::vector<std::wstring>{dir / L"a", dir / L"a\\b", dir / L"a\\b/c"}));
    created.clear();
    MakeFolders(dir / L"a\\b\\c", &created); // there already: nothing to make
    MakeFolders(dir.Path(), &created);
    EXPECT_TRUE(created.empty());
}

TEST(FileSystem, AFolderThatCannotBeMadeIsNamedWithTheReason) {
    TestFolder dir;
    dir.Write(L"a\\file", "in the way");
    std::vector<std::wstring> created;
    std::wstring failure;
    try {
        MakeFolders(dir / L"x\\y", &created);
        MakeFolders(dir / L"a\\file\\z", &created);
    } catch (const EInOutError& e) {
        failure = e.Message();
    }
    const std::wstring blocked = dir / L"a\\file";
    EXPECT_EQ(failure.rfind(L"Nie można utworzyć folderu " + blocked + L": ", 0), 0u)
        << ToUtf8(failure);
    EXPECT_GT(failure.size(), (L"Nie można utworzyć folderu " + blocked + L": .").size());
    EXPECT_EQ(failure.back(), L'.');
    // What was made before the failure is known to the caller.
    EXPECT_EQ(created, (std::vector<std::wstring>{dir / L"x", dir / L"x\\y"}));
    EXPECT_FALSE(FolderExists(dir / L"a\\file\\z"));
}

TEST(FileSystem, SizesOfFilesOnly) {
    TestFolder dir;
    const std::wstring empty = dir.Write(L"empty", "");
    const std::wstring thousand = dir.Write(L"k.bin", std::string(1000, 'x'));
    EXPECT_EQ(FileSize(empty), 0);
    EXPECT_EQ(FileSize(thousand), 1000);
    EXPECT_EQ(FileSize(dir.Path()), -1);
    EXPECT_EQ(FileSize(dir / L"missing"), -1);
    Held held{OpenWithoutSharing(thousand)};
    ASSERT_NE(held.h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(FileSize(thousand), 1000); // the entry is read, the file is not opened
}

TEST(FileSystem, ReadWholeFileOrAFailureNamingTheFile) {
    TestFolder dir;
    const std::string bytes = PatternBytes(40000) + std::string("\0\r\n", 3);
    const std::wstring file = dir.Write(L"data.bin", bytes);
    EXPECT_EQ(ReadWholeFile(file), bytes);
    EXPECT_EQ(ReadWholeFile(dir.Write(L"empty", "")), "");

    struct Case {
        const char* name;
        std::wstring path;
        bool hold;
    } cases[] = {{"missing", dir / L"missing.txt", false},
                 {"held without sharing", file, true},
                 {"a folder", dir.Path(), false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Held held{c.hold ? OpenWithoutSharing(c.path) : INVALID_HANDLE_VALUE};
        std::wstring failure;
        try {
            ReadWholeFile(c.path);
        } catch (const EInOutError& e) {
            failure = e.Message();
        }
        const std::wstring start = L"Nie można otworzyć pliku " + c.path + L": ";
        EXPECT_EQ(failure.rfind(start, 0), 0u) << ToUtf8(failure);
        EXPECT_GT(failure.size(), start.size() + 1) << "no reason given";
    }
}

// The local time of a file, to the second as the file system keeps it, in the zone the test
// runs in.
TEST(LocalTime, AFileTimeAsLocalDateTimeAndDosPair) {
    TestFolder dir;
    const std::wstring file = dir.Write(L"dated.txt", "x");
    SetFileLocalTime(file, 2023, 3, 14, 15, 9, 26);
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data));

    TDateTime local = 0;
    ASSERT_TRUE(FileTimeToLocal(data.ftLastWriteTime, local));
    EXPECT_EQ(local, EncodeDateTime(2023, 3, 14, 15, 9, 26));
    WORD date = 0, time = 0;
    ASSERT_TRUE(FileTimeToDos(data.ftLastWriteTime, date, time));
    EXPECT_EQ(date, 0x566E);
    EXPECT_EQ(time, 0x792D);
    EXPECT_EQ(DateTimeFromDos(date, time), local);
    FILETIME back{};
    ASSERT_TRUE(DosToFileTime(date, time, back));
    EXPECT_EQ(CompareFileTime(&back, &data.ftLastWriteTime), 0);

    // Before 1980 there is no DOS pair.
    SetFileLocalTime(file, 1979, 12, 31, 12, 0, 0);
    ASSERT_TRUE(GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data));
    EXPECT_FALSE(FileTimeToDos(data.ftLastWriteTime, date, time));
}

// Each moment at its own offset: in a zone with daylight saving time, noon of a summer day
// and noon of a winter day are two and one hours ahead of UTC, whatever the season now.
TEST(LocalTime, EachDateAtItsOwnDaylightSavingOffset) {
    const char* zone = std::getenv("TZ");
    if (!zone || std::string(zone) != "Europe/Warsaw")
        GTEST_SKIP() << "runs as util_tests_warsaw (TZ=Europe/Warsaw)";
    struct Case {
        WORD date;
        WORD utcHour;
    } cases[] = {{(43 << 9) | (7 << 5) | 1, 10}, {(43 << 9) | (1 << 5) | 15, 11}};
    for (const Case& c : cases) {
        FILETIME utc{};
        ASSERT_TRUE(DosToFileTime(c.date, 12 << 11, utc));
        SYSTEMTIME st{};
        ASSERT_TRUE(FileTimeToSystemTime(&utc, &st));
        EXPECT_EQ(st.wHour, c.utcHour) << c.date;
        WORD date = 0, time = 0;
        ASSERT_TRUE(FileTimeToDos(utc, date, time));
        EXPECT_EQ(date, c.date);
        EXPECT_EQ(time, 12 << 11);
        SYSTEMTIME local{};
        ASSERT_TRUE(FileTimeToLocal(utc, local));
        EXPECT_EQ(local.wHour, 12);
    }
}

} // namespace
