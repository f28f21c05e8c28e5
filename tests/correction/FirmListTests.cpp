// The firm list fetched when the main window opens.

#include <windows.h>

#include <functional>
#include <optional>

#include "CorrectionFixture.h"
#include "gui/Application.h"

namespace {

using Entries = std::vector<std::wstring>;

struct FirmList : CorrectionFixture {};

TEST_F(FirmList, EveryLineAnEntryInFileOrderWithTheFileDecodedByItsMark) {
    struct Case {
        const char* name;
        std::string file;
        Entries entries;
    };
    const Case cases[] = {
        {"three lines and a final break",
         "Alfa\r\nBeta\r\nGamma\r\n",
         {L"Alfa", L"Beta", L"Gamma"}},
        {"an empty line in the middle", "Alfa\r\n\r\nGamma", {L"Alfa", L"", L"Gamma"}},
        {"LF and CR line ends, blanks kept", "a\nb\r c \n", {L"a", L"b", L" c "}},
        {"UTF-8 with its mark",
         "\xEF\xBB\xBF\xC5\x81\xC3\xB3\x64\xC5\xBA\r\nKrak\xC3\xB3w\r\n",
         {L"Łódź", L"Kraków"}},
        {"UTF-16 with its mark",
         std::string("\xFF\xFE\x41\x01\x0D\x00\x0A\x00\x62\x00", 10),
         {L"Ł", L"b"}},
        {"code page 1250 without a mark",
         "Gda\xF1sk\r\n\xA3\xF3\x64\x9F\r\n",
         {L"Gdańsk", L"Łódź"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        window.CBx_Firm.Clear();
        StartServer(c.file);
        window.LoadFirmList();
        EXPECT_EQ(window.CBx_Firm.Items(), c.entries);
        EXPECT_EQ(window.CBx_Firm.ItemIndex(), -1);
        EXPECT_EQ(ReadFileBytes(temp / L"firmy.txt"), c.file); // the copy stays in TEMP
        EXPECT_TRUE(Boxes().empty());
    }
}

TEST_F(FirmList, AnOldCopyInTempIsReplacedNotLoaded) {
    temp.Write(L"firmy.txt", "Stara\r\n");
    StartServer("Nowa\r\n");
    window.LoadFirmList();
    EXPECT_EQ(window.CBx_Firm.Items(), (Entries{L"Nowa"}));
}

TEST_F(FirmList, WithoutTempTheListGoesToTheRootOfTheCurrentDrive) {
    wchar_t cwd[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, cwd);
    ASSERT_TRUE(SetCurrentDirectoryW(L"C:\\windows"));
    SetTemp(nullptr);
    DeleteFileW(L"C:\\firmy.txt");
    StartServer("Alfa\r\n");
    window.LoadFirmList();
    EXPECT_EQ(window.CBx_Firm.Items(), (Entries{L"Alfa"}));
    EXPECT_EQ(transfer.L_FNaz.Text(), L"\\firmy.txt");
    EXPECT_TRUE(FileExists(L"C:\\firmy.txt"));
    DeleteFileW(L"C:\\firmy.txt");
    SetCurrentDirectoryW(cwd);
}

TEST_F(FirmList, AnEmptyFileOnTheServerIsReportedAndTheMonitorStillStarts) {
    StartServer("");
    window.Show();
    auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, L"Brak pliku //Upgrade/Tavrin/firmy.txt na FTP !");
    EXPECT_TRUE(window.CBx_Firm.Items().empty());
    EXPECT_TRUE(window.Tmr.Enabled());
    EXPECT_EQ(window.L_Prog.Text(), L"----");
}

TEST_F(FirmList, AnUnreachableServerShowsOneErrorAndTheWindowOpensEmpty) {
    StartServer("Alfa\r\n");
    server->Stop(); // nothing listens on its port now
    window.Show();
    auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, gui::MsgKind::Error);
    EXPECT_EQ(boxes[0].caption, gui::Application::Instance().Title());
    EXPECT_EQ(boxes[0].text, L"Socket Error # 10061\r\nConnection refused.");
    EXPECT_TRUE(window.Visible());
    EXPECT_TRUE(window.CBx_Firm.Items().empty());
    EXPECT_FALSE(transfer.Visible());
    // The status monitor runs: a chosen program shows at the next tick.
    const std::wstring prog = install.Write(L"Prog.exe", "MZ");
    SetFileLocalTime(prog, 2020, 1, 10);
    gui::headless::AnswerOpenFile(prog);
    window.Ed_PathExe.ClickButton();
    EXPECT_TRUE(window.Tmr.Fire());
    EXPECT_EQ(window.L_Prog.Text(), L"DO AKTUALIZACJI");
}

// A fault at start-up: one error box, an empty list, the monitor running, the transfer
// window hidden, and nothing of a broken fetch in TEMP that could pass as the list.
TEST_F(FirmList, FaultsAtStartUpShowOneErrorAndLoadNothing) {
    const std::string list = "Alfa\r\nBravo\r\nGamma\r\n";
    ASSERT_EQ(list.size(), 20u);
    const std::string oldCopy = "Stara\r\n";
    struct Case {
        const char* name;
        std::optional<FtpScript> script;
        std::function<void(FirmList&)> arrange;
        std::wstring text;                   // the one error the user sees
        std::optional<std::string> leftCopy; // TEMP\firmy.txt afterwards (none: no file)
    };
    HANDLE held = INVALID_HANDLE_VALUE;
    const Case cases[] = {
        {"login refused", FtpScript().Reply("PASS", 530, "Login incorrect."), nullptr,
         L"Login incorrect.\r\n", std::nullopt},
        {"firmy.txt missing on the server", std::nullopt,
         [](FirmList& t) {
             DeleteFileW((t.server->Root() + L"Upgrade\\Tavrin\\firmy.txt").c_str());
         },
         L"Value must be between 1 and 2147483647", std::nullopt},
        {"data connection cut after 3 bytes", FtpScript().CutData("RETR", 3), nullptr,
         L"Connection closed; transfer aborted.\r\n", std::nullopt},
        // Another program holds an old copy: it cannot be deleted, the fetch refuses to
        // overwrite it, and the clean-up leaves a file it did not make alone.
        {"old copy in TEMP held open without sharing", std::nullopt,
         [&held, &oldCopy](FirmList& t) {
             const std::wstring copy = t.temp.Write(L"firmy.txt", oldCopy);
             held = CreateFileW(copy.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
         },
         L"Destination file already exists.", oldCopy},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        window.Hide();
        window.Tmr.SetEnabled(false);
        DeleteFileW((temp / L"firmy.txt").c_str());
        StartServer(list, c.script ? &*c.script : nullptr);
        if (c.arrange) c.arrange(*this);
        window.Show();
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        held = INVALID_HANDLE_VALUE;

        auto boxes = Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].kind, gui::MsgKind::Error);
        EXPECT_EQ(boxes[0].text, c.text);
        EXPECT_TRUE(window.Visible());
        EXPECT_TRUE(window.CBx_Firm.Items().empty());
        EXPECT_TRUE(window.Tmr.Enabled());
        EXPECT_FALSE(transfer.Visible());
        if (c.leftCopy) {
            EXPECT_EQ(ReadFileBytes(temp / L"firmy.txt"), *c.leftCopy);
        } else {
            EXPECT_FALSE(FileExists(temp / L"firmy.txt"));
        }
    }
}

} // namespace
