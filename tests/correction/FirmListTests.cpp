// The firm list fetched when the main window opens.

#include <windows.h>

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

} // namespace
