// The cabinet engine against the platform's Cabinet.dll: events, totals, recorded errors
// and the decisions of the extractor, each on real files in a fresh folder.

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "TestFolder.h"
#include "pack/CabEngine.h"
#include "pack/Unv_MZip.h"

namespace {

// What a component raised, in order, as short texts.
struct EventLog {
    std::vector<std::string> events;
    std::vector<std::uint16_t> errors;

    void Attach(TCabComponent& c) {
        c.OnStart = [this](TCabComponent&) { events.push_back("start"); };
        c.OnFinish = [this](TCabComponent& s) {
            events.push_back("finish:" + std::to_string(s.LastError()));
        };
        c.OnError = [this](TCabComponent&, std::uint16_t code) {
            events.push_back("error:" + std::to_string(code));
            errors.push_back(code);
        };
        c.OnProgress = [this](TCabComponent&, const AnsiString& name, std::int32_t index,
                              std::int64_t fileSize, std::int64_t cabSize) {
            events.push_back("progress:" + std::to_string(index) + ":" + name + ":" +
                             std::to_string(fileSize) + ":" + std::to_string(cabSize));
        };
    }
    int Count(const std::string& prefix) const {
        int n = 0;
        for (const auto& e : events)
            n += e.rfind(prefix, 0) == 0;
        return n;
    }
};

AnsiString A(const std::wstring& path) {
    return ToAnsi(path);
}

// Packs the files (stored under their bare names) into cabinet; asserts success.
void Pack(const std::wstring& cabinet, const std::vector<std::wstring>& files,
          TCabCompressionType type = cctMSZIP) {
    TCabCompressor c;
    c.FileName = cabinet;
    c.CompressionType = type;
    for (const auto& f : files)
        c.AddFile(A(f), "");
    ASSERT_TRUE(c.Compress());
    ASSERT_EQ(c.LastError(), 0);
}

std::string Compressible(std::size_t size) {
    std::string s;
    while (s.size() < size)
        s += "korekta packs this line again and again. ";
    s.resize(size);
    return s;
}

TEST(CabCompressor, PacksWithRunningTotalsAndTheExtractorListsIt) {
    TestFolder dir;
    const std::string one = Compressible(100000), two = PatternBytes(70000, 7);
    const auto a = dir.Write(L"src\\one.txt", one);
    const auto b = dir.Write(L"src\\two.bin", two);
    SetFileLocalTime(a, 2023, 3, 14, 15, 9, 26);

    TCabCompressor c;
    EventLog log;
    log.Attach(c);
    c.FileName = dir / L"out.cab";
    c.AddFile(A(a), "");
    c.AddFile(A(b), "");
    EXPECT_EQ(c.Item(0).FileSize, 100000);
    EXPECT_EQ(c.OriginalFileSize(), 170000);
    ASSERT_TRUE(c.Compress());

    EXPECT_EQ(log.events.front(), "start");
    EXPECT_EQ(log.events.back(), "finish:0");
    EXPECT_EQ(c.SourceFileSize(), 170000);
    EXPECT_GT(c.CompressedFileSize(), 0);
    EXPECT_LT(c.CompressedFileSize(), 170000);
    // The last report carries the run's totals; the file index follows the items.
    EXPECT_EQ(log.events[log.events.size() - 2],
              "progress:1:" + A(b) + ":170000:" + std::to_string(c.CompressedFileSize()));
    EXPECT_EQ(log.events[1].rfind("progress:0:" + A(a) + ":", 0), 0u);
    EXPECT_TRUE(log.errors.empty());

    TCabExtractor x;
    x.SetFileName(dir / L"out.cab");
    ASSERT_EQ(x.FileCount(), 2);
    EXPECT_EQ(x.Item(0).FileName, "one.txt");
    EXPECT_EQ(x.Item(0).FileSize, 100000);
    EXPECT_EQ(x.Item(0).DestinationPath, "");
    EXPECT_EQ(x.Item(1).FileName, "two.bin");
    EXPECT_EQ(x.Item(1).FileSize, 70000);
    int y, mo, d, h, mi, s, ms;
    DecodeDateTime(x.Item(0).FileDate, y, mo, d, h, mi, s, ms);
    EXPECT_EQ((std::vector<int>{y, mo, d, h, mi, s}), (std::vector<int>{2023, 3, 14, 15, 9, 26}));
}

TEST(CabCompressor, CompressionTypesGiveTheirCodesAndRoundTrip) {
    struct Case {
        TCabCompressionType type;
        TCabLZXLevel level;
        std::uint16_t code;
    } cases[] = {{cctNone, cllHighest, 0x0000},
                 {cctMSZIP, cllHighest, 0x0001},
                 {cctLZX, cllLowest, 0x0F03},
                 {cctLZX, cllMedium, 0x1203},
                 {cctLZX, cllHighest, 0x1503}};
    TestFolder dir;
    const std::string data = Compressible(200000) + PatternBytes(50000);
    const auto src = dir.Write(L"data.bin", data);
    for (const Case& k : cases) {
        SCOPED_TRACE(k.code);
        TCabCompressor c;
        c.CompressionType = k.type;
        c.CompressionLZXLevel = k.level;
        EXPECT_EQ(c.CompressionCode(), k.code);
        c.FileName = dir / L"t.cab";
        c.AddFile(A(src), "");
        ASSERT_TRUE(c.Compress());
        if (k.type == cctNone) {
            EXPECT_GE(c.CompressedFileSize(), 250000);
        }

        TCabExtractor x;
        x.DestinationPath = dir / L"out" + std::to_wstring(k.code);
        x.SetFileName(dir / L"t.cab");
        ASSERT_TRUE(x.Extract(false));
        EXPECT_EQ(ReadFileBytes(dir / (L"out" + std::to_wstring(k.code) + L"\\data.bin")), data);
    }
}

TEST(CabCompressor, MissingSourceIsRecordedAndTheRunGoesOn) {
    TestFolder dir;
    const auto good = dir.Write(L"good.txt", "present");
    TCabCompressor c;
    EventLog log;
    log.Attach(c);
    c.FileName = dir / L"out.cab";
    c.AddFile(A(dir / L"missing.txt"), "");
    c.AddFile(A(good), "");
    EXPECT_EQ(c.Item(0).FileSize, 0);
    EXPECT_EQ(c.OriginalFileSize(), 7);
    EXPECT_EQ(c.Item(0).FileSize, -1);

    EXPECT_TRUE(c.Compress());
    ASSERT_EQ(log.errors, (std::vector<std::uint16_t>{1})); // the library's "cannot open"
    EXPECT_EQ(c.LastError(), 1);
    EXPECT_EQ(log.events.back(), "finish:1");

    TCabExtractor x;
    x.SetFileName(dir / L"out.cab");
    ASSERT_EQ(x.FileCount(), 1);
    EXPECT_EQ(x.Item(0).FileName, "good.txt");

    // With RaiseExceptions set the same error fails the run with the compressor's text;
    // the finish event still comes.
    log = {};
    c.RaiseExceptions = true;
    try {
        c.Compress();
        ADD_FAILURE() << "no failure";
    } catch (const ECabError& e) {
        EXPECT_EQ(e.Message(), L"Error opening source file");
    }
    EXPECT_EQ(log.events, (std::vector<std::string>{"start", "error:1", "finish:1"}));
}

TEST(CabCompressor, CabinetIntoMissingFolderFailsAtTheFlush) {
    TestFolder dir;
    const auto src = dir.Write(L"a.txt", "abc");
    TCabCompressor c;
    EventLog log;
    log.Attach(c);
    c.FileName = dir / L"no\\such\\folder\\out.cab";
    c.AddFile(A(src), "");
    EXPECT_FALSE(c.Compress());
    ASSERT_EQ(log.errors.size(), 1u);
    EXPECT_NE(c.LastError(), 0);
    EXPECT_EQ(log.events.back(), "finish:" + std::to_string(c.LastError()));
    EXPECT_EQ(c.ErrorText(6), L"Cabinet file could bot be created");
}

TEST(CabCompressor, SameNameFromTwoFoldersGivesTwoItemsAndReplacesAnExistingCabinet) {
    TestFolder dir;
    const auto a = dir.Write(L"a\\x.exe", "first");
    const auto b = dir.Write(L"b\\x.exe", "second!");
    dir.Write(L"out.cab", std::string(100000, 'j'));
    Pack(dir / L"out.cab", {a, b});

    TCabExtractor x;
    x.SetFileName(dir / L"out.cab");
    ASSERT_EQ(x.FileCount(), 2);
    EXPECT_EQ(x.Item(0).FileName, "x.exe");
    EXPECT_EQ(x.Item(1).FileName, "x.exe");
    EXPECT_EQ(x.Item(0).FileSize, 5);
    EXPECT_EQ(x.Item(1).FileSize, 7);
    EXPECT_LT(ReadFileBytes(dir / L"out.cab").size(), 1000u);
}

TEST(CabExtractor, EmptyCabinetListsNothingAndExtractsWithZeroTotals) {
    TestFolder dir;
    Pack(dir / L"empty.cab", {});
    TCabExtractor x;
    EventLog log;
    log.Attach(x);
    x.DestinationPath = dir / L"out";
    x.SetFileName(dir / L"empty.cab");
    EXPECT_EQ(x.FileCount(), 0);
    EXPECT_TRUE(log.events.empty()); // a listing raises neither start nor finish
    EXPECT_TRUE(x.Extract(false));
    EXPECT_EQ(log.events, (std::vector<std::string>{"start", "finish:0"}));
    EXPECT_EQ(x.ExtractFileCount(), 0);
    EXPECT_EQ(x.SourceFileSize(), 0);
    EXPECT_THROW(x.Item(0), ERangeError);
}

TEST(CabExtractor, ExtractAllTakesItsTotalsFromTheListingAndReportsEachFile) {
    TestFolder dir;
    const auto a = dir.Write(L"a.txt", std::string(1000, 'a'));
    const auto b = dir.Write(L"b.txt", std::string(3000, 'b'));
    Pack(dir / L"in.cab", {a, b});
    dir.Write(L"out\\b.txt", "already here");

    TCabExtractor x;
    x.Options = dcoForceDirectories; // overwriting off
    EventLog log;
    log.Attach(x);
    std::vector<std::string> exists;
    x.OnFileExists = [&](TCabComponent&, const AnsiString& item, bool& cancel) {
        exists.push_back(item + (cancel ? ":cancel" : ":go"));
    };
    x.DestinationPath = dir / L"out";
    x.SetFileName(dir / L"in.cab");
    EXPECT_TRUE(x.Extract(false));
    EXPECT_EQ(x.ExtractFileCount(), 2);
    EXPECT_EQ(x.SourceFileSize(), 4000);
    // A skipped file is still reported and counted.
    EXPECT_EQ(log.events, (std::vector<std::string>{"start", "progress:0:a.txt:1000:1000",
                                                    "progress:1:b.txt:3000:4000", "finish:0"}));
    EXPECT_EQ(exists, (std::vector<std::string>{A(dir / L"out\\b.txt") + ":cancel"}));
    EXPECT_EQ(ReadFileBytes(dir / L"out\\b.txt"), "already here");
    EXPECT_EQ(ReadFileBytes(dir / L"out\\a.txt"), std::string(1000, 'a'));
    EXPECT_EQ(x.LastError(), 0);
}

TEST(CabExtractor, MissingTargetFolderIsAnnouncedThenCreatedWithItsParents) {
    TestFolder dir;
    const auto a = dir.Write(L"x.dll", "dll bytes");
    TCabCompressor c;
    c.FileName = dir / L"in.cab";
    c.AddFile(A(a), "bin\\deep\\");
    ASSERT_TRUE(c.Compress());

    TCabExtractor x;
    x.Options = dcoForceDirectories;
    std::vector<std::string> asked;
    x.OnFolderRequired = [&](TCabComponent&, const AnsiString& item, bool& cancel) {
        asked.push_back(item + (cancel ? ":cancel" : ":go"));
    };
    x.DestinationPath = dir / L"upd\\new";
    x.SetFileName(dir / L"in.cab");
    ASSERT_EQ(x.Item(0).FileName, "bin\\deep\\x.dll");
    EXPECT_EQ(x.Item(0).DestinationPath, "bin\\deep\\");
    EXPECT_TRUE(x.Extract(false));
    EXPECT_EQ(asked, (std::vector<std::string>{A(dir / L"upd\\new\\bin\\deep") + ":go"}));
    EXPECT_EQ(ReadFileBytes(dir / L"upd\\new\\bin\\deep\\x.dll"), "dll bytes");

    // Without forced folders the file is skipped when the handler leaves Cancel set.
    TCabExtractor y;
    y.Options = 0;
    y.DestinationPath = dir / L"other";
    y.SetFileName(dir / L"in.cab");
    EXPECT_TRUE(y.Extract(false));
    EXPECT_FALSE(FileExists(dir / L"other\\bin\\deep\\x.dll"));
    EXPECT_EQ(y.LastError(), 0);
}

TEST(CabExtractor, SelectedAndSingleItemRuns) {
    TestFolder dir;
    Pack(dir / L"in.cab",
         {dir.Write(L"a.txt", "aa"), dir.Write(L"b.txt", "bbb"), dir.Write(L"c.txt", "cccc")});
    TCabExtractor x;
    x.DestinationPath = dir / L"sel";
    x.SetFileName(dir / L"in.cab");
    x.Item(0).Selected = true;
    x.Item(2).Selected = true;
    EXPECT_TRUE(x.Extract(true));
    EXPECT_EQ(x.ExtractFileCount(), 2);
    EXPECT_EQ(x.SourceFileSize(), 6);
    EXPECT_TRUE(FileExists(dir / L"sel\\a.txt"));
    EXPECT_FALSE(FileExists(dir / L"sel\\b.txt"));
    EXPECT_TRUE(FileExists(dir / L"sel\\c.txt"));

    x.DestinationPath = dir / L"one";
    EXPECT_TRUE(x.Extract(AnsiString("b.txt")));
    EXPECT_EQ(x.ExtractFileCount(), 1);
    EXPECT_EQ(x.SourceFileSize(), 3);
    EXPECT_EQ(ReadFileBytes(dir / L"one\\b.txt"), "bbb");
    EXPECT_FALSE(FileExists(dir / L"one\\a.txt"));
    EXPECT_FALSE(x.Extract(AnsiString("B.TXT"))); // names compare exactly
    EXPECT_EQ(x.Items.SingleItem, nullptr);
}

TEST(CabExtractor, NamesWithOneFormInTheCodePageAreToldApartByTheirExactForm) {
    // "ｘ.txt" is stored as UTF-8 (the code page holds it only by best fit) and reads "x.txt"
    // in the code page, as the plain "x.txt" stored beside it does.
    TestFolder dir;
    TCabCompressor c;
    c.FileName = dir / L"in.cab";
    c.AddFile(dir.Write(L"a\\\uFF58.txt", "fullwidth"), "");
    c.AddFile(dir.Write(L"b\\x.txt", "plain"), "");
    ASSERT_TRUE(c.Compress());
    TCabExtractor x;
    x.SetFileName(dir / L"in.cab");
    ASSERT_EQ(x.FileCount(), 2);
    EXPECT_EQ(x.Item(0).FileName, x.Item(1).FileName);
    EXPECT_EQ(x.Item(0).WideFileName, L"\uFF58.txt");
    EXPECT_EQ(x.Item(1).WideFileName, L"x.txt");
    x.DestinationPath = dir / L"one";
    EXPECT_TRUE(x.Extract(0));
    EXPECT_EQ(ReadFileBytes(dir / L"one\\\uFF58.txt"), "fullwidth");
    EXPECT_FALSE(FileExists(dir / L"one\\x.txt"));
    x.DestinationPath = dir / L"sel";
    x.Item(1).Selected = true;
    EXPECT_TRUE(x.Extract(true));
    EXPECT_EQ(ReadFileBytes(dir / L"sel\\x.txt"), "plain");
    EXPECT_FALSE(FileExists(dir / L"sel\\\uFF58.txt"));
}

TEST(CabExtractor, ErrorRecordingRaisesTheEventAlsoForCodeZeroAndCanThrow) {
    TCabExtractor x;
    EventLog log;
    log.Attach(x);
    x.RecordError(0);
    EXPECT_EQ(log.errors, (std::vector<std::uint16_t>{0}));
    x.RecordError(7);
    EXPECT_EQ(x.LastError(), 7);
    x.RaiseExceptions = true;
    try {
        x.RecordError(4);
        FAIL() << "no failure";
    } catch (const ECabError& e) {
        EXPECT_EQ(e.Message(), L"Cabinet file is corrupt");
    }
    EXPECT_EQ(x.ErrorText(12), L"Unknown error code");
    TCabCompressor c;
    EXPECT_EQ(c.ErrorText(9), L"Unknown error code");
    EXPECT_EQ(c.ErrorText(3), L"Out of memory");
}

TEST(CabExtractor, NotACabinetKeepsTheListAndRecordsTheCopyFailureAfterFinish) {
    TestFolder dir;
    Pack(dir / L"in.cab", {dir.Write(L"a.txt", "aa")});
    const auto junk = dir.Write(L"junk.cab", "this is no cabinet at all, just text");
    TCabExtractor x;
    EventLog log;
    x.SetFileName(dir / L"in.cab");
    log.Attach(x);
    x.SetFileName(junk);
    EXPECT_FALSE(x.IsCabFile(junk));
    ASSERT_EQ(x.FileCount(), 1);
    EXPECT_TRUE(log.events.empty());
    x.DestinationPath = dir / L"out";
    EXPECT_FALSE(x.Extract(false));
    EXPECT_EQ(log.events, (std::vector<std::string>{"start", "finish:0", "error:2"}));
    EXPECT_EQ(x.ErrorText(x.LastError()), L"File not in CAB format");
}

TEST(CabExtractor, TargetThatCannotBeCreatedStopsTheCopyWithCode8) {
    TestFolder dir;
    Pack(dir / L"in.cab", {dir.Write(L"a.txt", "aa"), dir.Write(L"b.txt", "bbb")});
    const auto held = dir.Write(L"out\\a.txt", "held");
    HANDLE h = CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    TCabExtractor x;
    EventLog log;
    log.Attach(x);
    x.DestinationPath = dir / L"out";
    x.SetFileName(dir / L"in.cab");
    EXPECT_FALSE(x.Extract(false));
    CloseHandle(h);
    EXPECT_EQ(log.events, (std::vector<std::string>{"start", "progress:0:a.txt:2:2", "error:8",
                                                    "finish:8", "error:8"}));
    EXPECT_EQ(ReadFileBytes(held), "held");
    EXPECT_FALSE(FileExists(dir / L"out\\b.txt"));
}

TEST(CabEngine, FailureInAHandlerStopsTheLibraryAndPassesOnAfterFinish) {
    TestFolder dir;
    const auto a = dir.Write(L"a.txt", Compressible(300000));
    const auto b = dir.Write(L"b.txt", "bbb");
    {
        TCabCompressor c;
        EventLog log;
        log.Attach(c);
        c.OnProgress = [](TCabComponent&, const AnsiString&, std::int32_t, std::int64_t,
                          std::int64_t) { throw Error(L"stop packing"); };
        c.FileName = dir / L"stopped.cab";
        c.AddFile(A(a), "");
        c.AddFile(A(b), "");
        EXPECT_THROW(c.Compress(), Error);
        EXPECT_EQ(log.events.back(), "finish:0");
        // The source the library abandoned is not left open.
        HANDLE h = CreateFileW(a.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(h, INVALID_HANDLE_VALUE);
        CloseHandle(h);
    }
    Pack(dir / L"in.cab", {a, b});
    TCabExtractor x;
    EventLog log;
    log.Attach(x);
    x.OnProgress = [](TCabComponent&, const AnsiString&, std::int32_t index, std::int64_t,
                      std::int64_t) {
        if (index == 1) throw Error(L"stop unpacking");
    };
    x.DestinationPath = dir / L"out";
    x.SetFileName(dir / L"in.cab");
    try {
        x.Extract(false);
        FAIL() << "no failure";
    } catch (const Error& e) {
        EXPECT_EQ(e.Message(), L"stop unpacking");
    }
    EXPECT_EQ(log.events, (std::vector<std::string>{"start", "finish:0"}));
    EXPECT_TRUE(FileExists(dir / L"out\\a.txt"));
    EXPECT_FALSE(FileExists(dir / L"out\\b.txt"));
    // The component is usable again afterwards.
    x.OnProgress = nullptr;
    EXPECT_TRUE(x.Extract(false));
    EXPECT_EQ(ReadFileBytes(dir / L"out\\b.txt"), "bbb");
}

TEST(CabEngine, RunsStartedFromAnotherRunsEventLeaveItsFilesIntact) {
    // Each run reaches its files (the cabinet, its temporary files, sources and targets) by
    // the names it gave the library; a run inside another's event must not disturb them.
    TestFolder dir;
    const auto a = dir.Write(L"a.txt", Compressible(200000));
    const auto b = dir.Write(L"b.txt", "bbb");
    int inner = 0;
    auto innerRound = [&] {
        const std::wstring n = std::to_wstring(++inner);
        Pack(dir / (L"inner" + n + L".cab"), {b});
        TCabExtractor x;
        x.DestinationPath = dir / (L"inner" + n);
        x.SetFileName(dir / (L"inner" + n + L".cab"));
        EXPECT_TRUE(x.Extract(false));
        EXPECT_EQ(ReadFileBytes(dir / (L"inner" + n + L"\\b.txt")), "bbb");
    };

    TCabCompressor c;
    c.FileName = dir / L"outer.cab";
    c.AddFile(A(a), "");
    c.AddFile(A(b), "");
    c.OnProgress = [&](TCabComponent&, const AnsiString&, std::int32_t, std::int64_t,
                       std::int64_t) {
        if (inner == 0) innerRound();
    };
    ASSERT_TRUE(c.Compress());
    EXPECT_EQ(c.LastError(), 0);

    TCabExtractor x;
    x.DestinationPath = dir / L"out";
    x.SetFileName(dir / L"outer.cab");
    ASSERT_EQ(x.FileCount(), 2);
    x.OnProgress = [&](TCabComponent&, const AnsiString&, std::int32_t index, std::int64_t,
                       std::int64_t) {
        if (index == 0) innerRound();
    };
    EXPECT_TRUE(x.Extract(false));
    EXPECT_EQ(x.LastError(), 0);
    EXPECT_EQ(inner, 2);
    EXPECT_EQ(ReadFileBytes(dir / L"out\\a.txt"), Compressible(200000));
    EXPECT_EQ(ReadFileBytes(dir / L"out\\b.txt"), "bbb");
}

} // namespace

namespace {

// Runs only where Cabinet.dll has been made unloadable (the pack_tests_without_cabinet test
// disables it in wine): every engine operation fails naming it, the rest still works.
TEST(CabinetLibraryMissing, EveryOperationFailsNamingCabinetDll) {
    if (!std::getenv("KOREKTA_CABINET_DISABLED")) GTEST_SKIP() << "Cabinet.dll is available";
    TestFolder dir;
    const auto src = dir.Write(L"a.txt", "abc");
    auto expectNamed = [](auto&& operation, const char* what) {
        try {
            operation();
            ADD_FAILURE() << what << ": no failure";
        } catch (const Error& e) {
            EXPECT_NE(e.Message().find(L"Cabinet.dll"), std::wstring::npos) << what;
        }
    };
    TCabCompressor c;
    c.FileName = dir / L"out.cab";
    c.AddFile(A(src), "");
    expectNamed([&] { c.Compress(); }, "Compress");
    TCabExtractor x;
    expectNamed([&] { x.IsCabFile(src); }, "IsCabFile");
    expectNamed([&] { x.SetFileName(src); }, "FileName");
    expectNamed([&] { x.Extract(false); }, "Extract");
    TUnvFMZip window;
    std::vector<std::wstring> files{src};
    std::wstring first;
    expectNamed([&] { window.CCompres(files, dir / L"w.cab"); }, "CCompres");
    expectNamed([&] { window.DCompres(src, dir / L"out", first); }, "DCompres");
    EXPECT_TRUE(window.ZipFile(dir / L"a.zip", src));
    EXPECT_TRUE(window.UnZipFile(dir / L"a.zip", dir / L"unz"));
}

} // namespace
