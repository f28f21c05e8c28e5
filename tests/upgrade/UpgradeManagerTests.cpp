// The upgrade manager against a real server that the built-in credentials log in to:
// publishing a program as a cabinet, fetching (and unpacking) into a given or a new update
// folder, listings, the failures that leave the result alone, and a round trip.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <memory>

#include "TestFolder.h"
#include "UpgradeSupport.h"
#include "gui/Headless.h"
#include "upgrade/Unv_Upgr.h"
#include "util/Errors.h"
#include "util/pres.h"

namespace {

namespace hl = gui::headless;

const std::string kProgram = PatternBytes(70000, 17);

class UpgradeManager : public testing::Test {
protected:
    static void SetUpTestSuite() {
        server_ = new FtpTestServer(BuiltInServer());
        const std::wstring& root = server_->Root();
        WriteWholeFile(root + L"Upgrade\\Dunvel\\Dunvel.cab", FixtureBytes("program.cab"));
        WriteWholeFile(root + L"Upgrade\\Dunvel\\Brondel.CAB", FixtureBytes("program.cab"));
        WriteWholeFile(root + L"Upgrade\\Dunvel\\notes.txt", "notes\r\n");
        WriteWholeFile(root + L"Upgrade\\Dunvel\\Sub.cab", FixtureBytes("subfolder_first.cab"));
        WriteWholeFile(root + L"Upgrade\\Dunvel\\Escape.cab", FixtureBytes("dotdot_first.cab"));
        WriteWholeFile(root + L"Upgrade\\Dunvel\\LookAlike.cab",
                       FixtureBytes("lookalike_first.cab"));
        WriteWholeFile(root + L"Upgrade\\Dunvel\\empty.cab", "");
        WriteWholeFile(root + L"Upgrade\\Dunvel\\NotCab.cab", "plain text, no cabinet\r\n");
        // Its listing is whole; the data of its files is cut off.
        WriteWholeFile(root + L"Upgrade\\Dunvel\\Cut.cab",
                       FixtureBytes("program.cab").substr(0, 300));
        WriteWholeFile(root + L"Upgrade\\Dunvel\\empty.txt", "");
        WriteWholeFile(root + L"Upgrade\\Lista\\a.txt", "a");
        WriteWholeFile(root + L"Upgrade\\Lista\\b.txt", "b");
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        UseModuleWindows(server_->Port());
        hl::Reset();
        RemoveUpdateFolders();
    }
    void TearDown() override {
        RemoveUpdateFolders();
        hl::Reset();
    }

    static FtpTestServer* server_;
    TestFolder local_;
};

FtpTestServer* UpgradeManager::server_ = nullptr;

TEST_F(UpgradeManager, PublishesTheProgramAsACabinetBesideIt) {
    struct Case {
        const wchar_t* program;      // below the test folder
        const wchar_t* remoteFolder; // as the caller passes it
        const wchar_t* archive;      // below the test folder
        const wchar_t* remote;
    } cases[] = {
        {L"dphXE\\Brondel\\Dunvel.exe", L"//Upgrade/Brondel", L"dphXE\\Brondel\\Dunvel.cab",
         L"//Upgrade/Brondel/Dunvel.cab"},
        {L"dphXE\\Brondel\\Dunvel.exe", L"//Upgrade/Nowy/", L"dphXE\\Brondel\\Dunvel.cab",
         L"//Upgrade/Nowy/Dunvel.cab"},
        {L"dphXE\\Brondel\\Dunvel.exe", L"   //Upgrade/Brondel/  ", L"dphXE\\Brondel\\Dunvel.cab",
         L"//Upgrade/Brondel/Dunvel.cab"},
        {L"dphXE\\Brondel\\Dunvel.exe", L"", L"dphXE\\Brondel\\Dunvel.cab", L"/Dunvel.cab"},
        {L"dph.XE\\Dunvel", L"//Upgrade/Brondel", L"dph.XE\\Dunvel.cab",
         L"//Upgrade/Brondel/Dunvel.cab"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << ToUtf8(c.program) << " -> " << ToUtf8(c.remoteFolder));
        const std::wstring program = local_ / c.program;
        WriteWholeFile(program, kProgram);
        const std::wstring served = ServedPath(server_->Root(), c.remote);
        DeleteFileW(served.c_str());
        DeleteFileW((local_ / c.archive).c_str());

        std::wstring published = L"previous";
        UnvFUpgr->WyslijToFtp(program, c.remoteFolder, UnvFUpgr->BuiltInHost, UnvFUpgr->BuiltInUser,
                              UnvFUpgr->BuiltInPassword, published);
        EXPECT_EQ(published, c.remote);
        ASSERT_TRUE(FileExists(local_ / c.archive)) << "the archive stays beside the program";
        ASSERT_TRUE(FileExists(served));
        EXPECT_TRUE(ReadFileBytes(served) == ReadFileBytes(local_ / c.archive));
        EXPECT_EQ(ReadFileBytes(served).substr(0, 4), "MSCF");
        EXPECT_TRUE(hl::TakeBoxes().empty());
    }
}

TEST_F(UpgradeManager, AProgramThatCannotBePackedIsNotPublished) {
    // The server's copy stays: an empty cabinet never replaces it.
    const std::wstring served = ServedPath(server_->Root(), L"//Upgrade/Stary/Dunvel.cab");
    WriteWholeFile(served, FixtureBytes("program.cab"));
    const std::wstring held = local_.Write(L"Zajety\\Dunvel.exe", kProgram);
    HANDLE lock = CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    for (const std::wstring& program : {local_ / L"Brak\\Dunvel.exe", held}) {
        SCOPED_TRACE(ToUtf8(program));
        CreateDirectoryW(ExtractFilePath(program).c_str(), nullptr);
        std::wstring published = L"previous";
        EXPECT_THROW(UnvFUpgr->doFTP_QV(program, L"//Upgrade/Stary/", published), EInOutError);
        EXPECT_EQ(published, L"previous");
        EXPECT_TRUE(ReadFileBytes(served) == FixtureBytes("program.cab"));
    }
    CloseHandle(lock);
    EXPECT_TRUE(hl::TakeBoxes().empty());
}

TEST_F(UpgradeManager, APublishedProgramComesBackByteIdenticalWithItsDate) {
    const std::wstring program = local_.Write(L"Brondel\\Dunvel.exe", kProgram);
    SetFileLocalTime(program, 2021, 3, 4, 5, 6, 8);
    std::wstring published;
    UnvFUpgr->doFTP_QV(program, L"//Upgrade/Obieg", published);
    ASSERT_EQ(published, L"//Upgrade/Obieg/Dunvel.cab");

    std::wstring fetched = L"previous";
    UnvFUpgr->zFTP_QV(published, fetched);
    const std::wstring folder = ExtractFilePath(fetched);
    EXPECT_TRUE(IsUpdateFolder(folder)) << ToUtf8(fetched);
    EXPECT_EQ(ExtractFileName(fetched), L"Dunvel.exe");
    ASSERT_TRUE(FileExists(fetched));
    EXPECT_TRUE(ReadFileBytes(fetched) == kProgram);
    EXPECT_EQ(LastWriteTime(fetched), LastWriteTime(program));
    EXPECT_TRUE(FileExists(folder + L"Dunvel.cab")) << "the archive stays in the update folder";
}

TEST_F(UpgradeManager, FetchesIntoTheGivenFolderAndUnpacksOnlyLowerCaseCab) {
    struct Case {
        const wchar_t* remote;
        const wchar_t* folder; // below the test folder, as the caller passes it
        const wchar_t* result; // below the test folder
        std::vector<const wchar_t*> present, absent;
        const wchar_t* folderBox = nullptr; // the folder the packing window asks to create
    } cases[] = {
        {L"//Upgrade/Dunvel/Dunvel.cab",
         L"dir",
         L"dir\\Dunvel.exe",
         {L"dir\\Dunvel.cab", L"dir\\Dunvel.exe", L"dir\\Dunvel.ini"},
         {}},
        {L"//Upgrade/Dunvel/Brondel.CAB",
         L"dir\\",
         L"dir\\Brondel.CAB",
         {L"dir\\Brondel.CAB"},
         {L"dir\\Dunvel.exe"}},
        {L"//Upgrade/Dunvel/notes.txt", L"dir   ", L"dir\\notes.txt", {L"dir\\notes.txt"}, {}},
        {L"//Upgrade/Dunvel/Sub.cab",
         L"dir",
         L"dir\\Dunvel.exe",
         {L"dir\\bin\\Dunvel.exe", L"dir\\readme.txt"},
         {L"dir\\Dunvel.exe"},
         L"dir\\bin"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.remote));
        TestFolder local;
        std::wstring result = L"previous";
        UnvFUpgr->zFTP_QVArc(c.remote, local / c.folder, result);
        EXPECT_EQ(result, local / c.result);
        for (const wchar_t* p : c.present)
            EXPECT_TRUE(FileExists(local / p)) << ToUtf8(p);
        for (const wchar_t* p : c.absent)
            EXPECT_FALSE(FileExists(local / p)) << ToUtf8(p);
        std::vector<std::wstring> texts;
        for (const auto& box : hl::TakeBoxes())
            texts.push_back(box.text);
        std::vector<std::wstring> expected;
        if (c.folderBox)
            expected.push_back(L"Katalog " + local / c.folderBox + L" musi być utworzony ");
        EXPECT_EQ(texts, expected);
    }
    TestFolder local;
    std::wstring result;
    UnvFUpgr->zFTP_QVArc(L"//Upgrade/Dunvel/notes.txt", local / L"dir", result);
    EXPECT_EQ(ReadFileBytes(result), "notes\r\n");
}

TEST_F(UpgradeManager, ABlankFolderTextFetchesIntoANewUpdateFolderBesideTheProgram) {
    for (const wchar_t* blank : {L"", L"    "}) {
        std::wstring result = L"previous";
        UnvFUpgr->PobierzFromFtp(L"//Upgrade/Dunvel/Dunvel.cab", blank, UnvFUpgr->BuiltInHost,
                                 UnvFUpgr->BuiltInUser, UnvFUpgr->BuiltInPassword, result);
        const std::wstring folder = ExtractFilePath(result);
        EXPECT_TRUE(IsUpdateFolder(folder)) << ToUtf8(result);
        EXPECT_EQ(ExtractFileName(result), L"Dunvel.exe");
        EXPECT_TRUE(FileExists(result));
        EXPECT_TRUE(FileExists(folder + L"Dunvel.cab"));
        RemoveUpdateFolders();
    }
}

TEST_F(UpgradeManager, AnUnpackedItemNeverLandsOutsideTheFolder) {
    // The first item climbs out with "..\" or with look-alikes that a code page turns into
    // "..\..\": refused with the packing window's box, the safe item is written, and the
    // fetch ends silently instead of naming a file that is not there.
    for (const wchar_t* cab : {L"Escape.cab", L"LookAlike.cab"}) {
        SCOPED_TRACE(ToUtf8(cab));
        TestFolder local;
        std::wstring result = L"previous";
        EXPECT_THROW(
            UnvFUpgr->zFTP_QVArc(std::wstring(L"//Upgrade/Dunvel/") + cab, local / L"dir", result),
            EAbort);
        EXPECT_EQ(result, L"previous");
        auto boxes = hl::TakeBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, L"Błąd: 8");
        const std::wstring parent =
            ExtractFilePath(local.Path().substr(0, local.Path().size() - 1));
        for (const std::wstring& folder : {local.Path(), local / L"dir\\", parent})
            for (const wchar_t* name : {L"escape.txt", L"escape.dll"})
                EXPECT_FALSE(FileExists(folder + name)) << ToUtf8(folder + name);
        std::vector<std::wstring> files;
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW((local / L"dir\\*").c_str(), &fd);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        do {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) files.push_back(fd.cFileName);
        } while (FindNextFileW(h, &fd));
        FindClose(h);
        std::sort(files.begin(), files.end());
        EXPECT_EQ(files, (std::vector<std::wstring>{cab, L"good.txt"}));
        EXPECT_EQ(ReadFileBytes(local / L"dir\\good.txt"), "harmless\r\n");
    }
}

TEST_F(UpgradeManager, AFolderTextTheShortFormWouldChangeIsRefusedBeforeTheFetch) {
    // Cut after 255 characters, or with "?" for a letter code page 1250 lacks, the text would
    // name another folder.
    TestFolder local;
    const std::wstring tooLong = local / std::wstring(260 - local.Path().size(), L'x');
    const std::wstring foreign = local / L"\u0416urnal";
    for (const std::wstring& folder : {tooLong, foreign}) {
        std::wstring result = L"previous";
        try {
            UnvFUpgr->zFTP_QVArc(L"//Upgrade/Dunvel/Dunvel.cab", folder, result);
            ADD_FAILURE() << "no failure";
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.Message(), L"Nie można pobrać pliku do folderu " + folder +
                                       L": jego nazwa ma więcej niż 255 znaków lub znaki spoza "
                                       L"strony kodowej 1250.");
        }
        EXPECT_EQ(result, L"previous");
    }
    std::vector<std::wstring> left;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((local / L"*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (fd.cFileName[0] != L'.') left.push_back(fd.cFileName);
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    EXPECT_TRUE(left.empty()) << "nothing is made, under any name";
}

TEST_F(UpgradeManager, ACabinetThatDoesNotUnpackWholeEndsSilentlyAfterTheErrorBox) {
    struct Case {
        const wchar_t* remote;
        const wchar_t* blocker; // a folder made in the destination, or none
        std::vector<std::wstring> boxes;
    } cases[] = {
        {L"//Upgrade/Dunvel/Cut.cab", nullptr, {L"Błąd: 4"}},
        // The refused target is recorded, then the copy that it ended.
        {L"//Upgrade/Dunvel/Dunvel.cab", L"Dunvel.exe", {L"Błąd: 8", L"Błąd: 8"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.remote));
        TestFolder local;
        if (c.blocker) {
            ASSERT_TRUE(CreateDirectoryW((local / c.blocker).c_str(), nullptr));
        }
        std::wstring result = L"previous";
        EXPECT_THROW(UnvFUpgr->zFTP_QVArc(c.remote, local.Path(), result), EAbort);
        EXPECT_EQ(result, L"previous");
        std::vector<std::wstring> texts;
        for (const auto& box : hl::TakeBoxes())
            texts.push_back(box.text);
        EXPECT_EQ(texts, c.boxes);
        const std::wstring archive = local / ExtractFileName(ReplaceAll(c.remote, L"/", L"\\"));
        EXPECT_TRUE(FileExists(archive)) << "the downloaded archive stays";
        for (const wchar_t* item : {L"Dunvel.exe", L"Dunvel.ini"})
            EXPECT_FALSE(FileExists(local / item)) << "nothing passes as unpacked";
    }
}

TEST_F(UpgradeManager, AFailedFetchLeavesTheResultAndMakesNoFile) {
    struct Case {
        const wchar_t* remote;
        // {file}: the local file; a text ending in ": " is followed by the system's reason.
        const wchar_t* message;
        const wchar_t* folder = L""; // below the test folder, ending in "\\"
        bool kept = false;           // the fetched file stays
    } cases[] = {
        {L"//Upgrade/Dunvel/missing.cab", L"Value must be between 1 and 2147483647"},
        {L"//Upgrade/Dunvel/", L"Value must be between 1 and 2147483647"},
        {L"//Upgrade/Brak/Dunvel.cab", L"Value must be between 1 and 2147483647"},
        {L"//Upgrade/Dunvel/NotCab.cab",
         L"Nie można rozpakować pliku {file}: to nie jest archiwum CAB.", L"", true},
        // Only one missing level is made, so the download has nowhere to create its file.
        {L"//Upgrade/Dunvel/notes.txt", L"cannot create file {file}: ", L"a\\b\\c\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.remote));
        TestFolder local;
        const std::wstring folder = local / c.folder;
        const std::wstring name = ExtractFileName(ReplaceAll(c.remote, L"/", L"\\"));
        std::wstring result = L"previous";
        try {
            UnvFUpgr->zFTP_QVArc(c.remote, folder, result);
            ADD_FAILURE() << "the fetch succeeded";
        } catch (const EAbort&) {
            ADD_FAILURE() << "a silent abort";
        } catch (const Error& e) {
            const std::wstring expected = ReplaceAll(c.message, L"{file}", folder + name);
            if (expected.ends_with(L": ")) {
                EXPECT_EQ(e.Message().substr(0, expected.size()), expected);
                EXPECT_GT(e.Message().size(), expected.size());
            } else {
                EXPECT_EQ(e.Message(), expected);
            }
        }
        EXPECT_EQ(result, L"previous");
        // A download that failed leaves no file; one that is no cabinet stays as fetched.
        if (!name.empty()) {
            EXPECT_EQ(FileExists(folder + name), c.kept);
        }
        if (*c.folder) {
            EXPECT_EQ(GetFileAttributesW((local / L"a").c_str()), INVALID_FILE_ATTRIBUTES)
                << "no folder is made";
        }
        hl::ClearBoxes();
    }
}

TEST_F(UpgradeManager, AnEmptyRemoteFileIsReportedAndNothingIsUnpacked) {
    for (const wchar_t* remote : {L"//Upgrade/Dunvel/empty.cab", L"//Upgrade/Dunvel/empty.txt"}) {
        SCOPED_TRACE(ToUtf8(remote));
        TestFolder local;
        std::wstring result = L"previous";
        EXPECT_THROW(UnvFUpgr->zFTP_QVArc(remote, local.Path(), result), EAbort);
        EXPECT_EQ(result, L"previous");
        auto boxes = hl::TakeBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, std::wstring(L"Brak pliku ") + remote + L" na FTP !");
        EXPECT_FALSE(FileExists(local / ExtractFileName(ReplaceAll(remote, L"/", L"\\"))));
    }
}

TEST_F(UpgradeManager, ASecondFetchWithinTheSameSecondFailsOnTheExistingFile) {
    // Both fetches of one second use the same update folder; the file of the first is there.
    std::wstring stamp = CompactTimestamp();
    while (CompactTimestamp() == stamp)
        WaitMs(5);
    stamp = CompactTimestamp();
    WriteWholeFile(ProgramFolder() + L"Update" + stamp + L"\\notes.txt", "first fetch");
    std::wstring result = L"previous";
    try {
        UnvFUpgr->zFTP_QV(L"//Upgrade/Dunvel/notes.txt", result);
        ADD_FAILURE() << "the second fetch succeeded";
    } catch (const Error& e) {
        EXPECT_EQ(e.Message(), L"Destination file already exists.");
    }
    EXPECT_EQ(result, L"previous");
    EXPECT_EQ(ReadFileBytes(ProgramFolder() + L"Update" + stamp + L"\\notes.txt"), "first fetch");
}

TEST_F(UpgradeManager, ListingsAppendToTheCallersList) {
    std::vector<std::wstring> names{L"already here"};
    UnvFUpgr->ListzFTP_QV(L"//Upgrade/Lista/", names);
    ASSERT_GE(names.size(), 3u);
    EXPECT_EQ(names[0], L"already here");
    EXPECT_NE(std::find(names.begin(), names.end(), L"a.txt"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), L"b.txt"), names.end());

    std::vector<std::wstring> before = names;
    EXPECT_THROW(UnvFUpgr->PobListFromFtp(UnvFUpgr->BuiltInHost, UnvFUpgr->BuiltInUser,
                                          UnvFUpgr->BuiltInPassword, L"//Upgrade/Brak/", names),
                 Error);
    EXPECT_EQ(names, before);
}

TEST_F(UpgradeManager, TheTestButtonsShowTheirResultAlone) {
    // The fixed program path does not exist here: the button's failure reaches the default
    // handler, and no result box is shown.
    UnvFUpgr->doFTP.Click();
    auto boxes = hl::TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, gui::MsgKind::Error);

    UnvFUpgr->zFTP.Click();
    boxes = hl::TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, gui::MsgKind::Plain);
    EXPECT_TRUE(IsUpdateFolder(ExtractFilePath(boxes[0].text))) << ToUtf8(boxes[0].text);
    EXPECT_EQ(ExtractFileName(boxes[0].text), L"Dunvel.exe");
}

} // namespace
