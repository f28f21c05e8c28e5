// The main window under the headless backend: the status of the chosen program, its text and
// colour on L_Prog, the small handlers.

#include <gtest/gtest.h>

#include <windows.h>

#include "app/Vyt_Main.h"
#include "gui/Headless.h"
#include "support/TestFolder.h"
#include "util/Errors.h"
#include "util/pres.h"

namespace {

namespace hl = gui::headless;
using gui::Rgb;

// The image name of this test program: a process that surely runs.
std::wstring OwnImageName() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p = path;
    return p.substr(p.find_last_of(L"\\/") + 1);
}

std::wstring Upper(std::wstring s) {
    for (auto& c : s)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
    return s;
}

struct MainWindow : testing::Test {
    TestFolder folder;
    TVytFMain window;
    void SetUp() override { hl::Reset(); }
    void TearDown() override { hl::Reset(); }

    // Chooses the program through the open-file dialog, as the user does.
    void Choose(const std::wstring& path) {
        hl::AnswerOpenFile(path);
        window.Ed_PathExe.ClickButton();
    }
    std::wstring DatedFile(const std::wstring& name, int y, int mo, int d, int h, int mi) {
        std::wstring path = folder.Write(name, "MZ");
        SetFileLocalTime(path, y, mo, d, h, mi);
        return path;
    }
};

TEST_F(MainWindow, CreatedWithItsInitialState) {
    EXPECT_EQ(window.Caption(), L"***");
    EXPECT_EQ(window.ClientWidth(), 568);
    EXPECT_EQ(window.ClientHeight(), 240);
    EXPECT_EQ(window.Description().border, gui::BorderStyle::Dialog);
    EXPECT_FALSE(window.Visible());
    EXPECT_EQ(window.L_Prog.Text(), L"AKTUALIZACJA");
    EXPECT_EQ(window.L_Prog.TextColor(), Rgb(0, 128, 255));
    EXPECT_EQ(window.ProgAStt, stpBrak);
    EXPECT_FALSE(window.isProg);
    EXPECT_FALSE(window.isConIP);
    EXPECT_TRUE(window.ProgFLL.empty());
    EXPECT_FALSE(window.Tmr.Enabled());
    EXPECT_EQ(window.Tmr.Interval(), 1000u);
    EXPECT_EQ(window.CBx_Firm.ItemIndex(), -1);
    EXPECT_EQ(window.ODlg1.Filter(), L"Program|*.exe");
    EXPECT_EQ(window.Panel1.Bounds(), (gui::Rect{0, 0, 568, 31}));
    EXPECT_EQ(window.Panel2.Bounds(), (gui::Rect{0, 196, 568, 44}));
    EXPECT_EQ(window.Panel1.Background(), Rgb(206, 224, 242));
    EXPECT_EQ(window.Background(), Rgb(246, 249, 250));
    EXPECT_EQ(window.Label1.TextColor(), Rgb(77, 111, 149));
    EXPECT_TRUE(window.SBt_Start.EffectiveFont().bold);
}

TEST_F(MainWindow, EachStatusShowsItsTextAndColour) {
    struct Case {
        TStKor state;
        const wchar_t* text;
        gui::Color color;
    } cases[] = {
        {stpBrak, L"----", Rgb(128, 128, 128)},         {stpOK, L"OK !", Rgb(0, 128, 0)},
        {stpAKT, L"DO AKTUALIZACJI", Rgb(0, 128, 255)}, {stpRun, L"URUCHOMIONY", Rgb(255, 0, 0)},
        {stpNULL, L"----", Rgb(128, 128, 128)},
    };
    for (const Case& c : cases) {
        window.SetProgState(c.state);
        EXPECT_EQ(window.L_Prog.Text(), c.text);
        EXPECT_EQ(window.L_Prog.TextColor(), c.color) << c.text;
        EXPECT_EQ(window.ProgAStt, c.state);
    }
}

TEST_F(MainWindow, StatusTable) {
    std::wstring own = OwnImageName();
    std::wstring ownPrefix = own.substr(0, 6);
    struct Case {
        const char* what;
        std::wstring path;
        TStKor state;
        const wchar_t* text;
    } cases[] = {
        {"no path", L"", stpBrak, L"----"},
        {"missing file", folder / L"brak.exe", stpBrak, L"----"},
        {"a folder", folder.Path(), stpBrak, L"----"},
        {"dated 2021-05-15 23:59", DatedFile(L"stary.exe", 2021, 5, 15, 23, 59), stpAKT,
         L"DO AKTUALIZACJI"},
        {"dated 2021-05-16 00:00", DatedFile(L"nowy.exe", 2021, 5, 16, 0, 0), stpOK, L"OK !"},
        {"dated 2021-05-16 23:59", DatedFile(L"nowy2.exe", 2021, 5, 16, 23, 59), stpOK, L"OK !"},
        {"dated 2030", DatedFile(L"nowy3.exe", 2030, 1, 1, 12, 0), stpOK, L"OK !"},
        // A running process whose image name, in another letter case, begins with the name.
        {"running, other case", DatedFile(Upper(own), 2020, 1, 1, 12, 0), stpRun, L"URUCHOMIONY"},
        {"running, name is a prefix", DatedFile(ownPrefix, 2030, 1, 1, 12, 0), stpRun,
         L"URUCHOMIONY"},
    };
    for (const Case& c : cases) {
        window.ProgFLL = c.path;
        window.RefreshStatus();
        EXPECT_EQ(window.ProgAStt, c.state) << c.what;
        EXPECT_EQ(window.L_Prog.Text(), c.text) << c.what;
    }
    EXPECT_TRUE(hl::Boxes().empty());
}

TEST_F(MainWindow, AFileDeletedAfterChoosingShowsMissingAtTheNextTick) {
    std::wstring path = DatedFile(L"prog.exe", 2020, 3, 1, 8, 0);
    Choose(path);
    EXPECT_EQ(window.ProgFLL, path);
    // Choosing does not refresh by itself.
    EXPECT_EQ(window.L_Prog.Text(), L"AKTUALIZACJA");
    window.RefreshStatus();
    window.Tmr.SetEnabled(true);
    EXPECT_EQ(window.ProgAStt, stpAKT);
    ASSERT_TRUE(DeleteFileW(path.c_str()));
    EXPECT_TRUE(window.Tmr.Fire());
    EXPECT_EQ(window.ProgAStt, stpBrak);
    EXPECT_EQ(window.L_Prog.Text(), L"----");
    EXPECT_EQ(window.L_Prog.TextColor(), Rgb(128, 128, 128));
}

TEST_F(MainWindow, ZamknijClosesTheWindowAndStopsTheTimer) {
    window.Tmr.SetEnabled(true);
    window.SBt_Zam.Click();
    EXPECT_FALSE(window.Tmr.Enabled());
    EXPECT_FALSE(window.Visible());
    EXPECT_FALSE(window.Tmr.Fire());
}

TEST_F(MainWindow, CancelledOpenFileDialogKeepsThePath) {
    std::wstring path = DatedFile(L"a.exe", 2020, 3, 1, 8, 0);
    Choose(path);
    hl::AnswerOpenFile(std::nullopt);
    window.Ed_PathExe.ClickButton();
    EXPECT_EQ(window.Ed_PathExe.Text(), path);
    EXPECT_EQ(window.ProgFLL, path);
    auto runs = hl::TakeDialogs();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[1].filter, L"Program|*.exe");
}

TEST_F(MainWindow, TitleClickShowsThePathWithCrLf) {
    window.Label1.Click();
    std::wstring path = folder / L"x.exe";
    window.ProgFLL = path;
    window.Label1.Click();
    auto boxes = hl::TakeBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].kind, gui::MsgKind::Information);
    EXPECT_EQ(boxes[0].text, L"\r\n");
    EXPECT_EQ(boxes[1].text, path + L"\r\n");
}

// A tick whose process list cannot be taken, as on a system whose kernel32 lacks the
// process-list calls (here they are looked up in ntdll, which has none): the real failure of
// IsProcessRunning reaches the timer's guard, one error box shows it, the status shows
// nothing known, and the next tick runs as usual.
TEST_F(MainWindow, AProcessListThatCannotBeTakenShowsOneErrorBoxAndTheNextTickRuns) {
    Choose(DatedFile(L"prog.exe", 2020, 3, 1, 8, 0));
    window.Tmr.SetEnabled(true);
    struct Restore {
        ~Restore() { SetProcessListModule(L"kernel32.dll"); }
    } restore;
    SetProcessListModule(L"ntdll.dll");
    EXPECT_TRUE(window.Tmr.Fire());
    SetProcessListModule(L"kernel32.dll");
    auto boxes = hl::TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, gui::MsgKind::Error);
    EXPECT_EQ(boxes[0].caption, L"app_tests");
    const std::wstring start = L"Błąd systemu (kod 127): ";
    EXPECT_EQ(boxes[0].text.rfind(start, 0), 0u) << boxes[0].text.size();
    EXPECT_GT(boxes[0].text.size(), start.size() + 1) << "the system's reason";
    EXPECT_EQ(window.ProgAStt, stpNULL);
    EXPECT_EQ(window.L_Prog.Text(), L"----");
    EXPECT_TRUE(window.Tmr.Enabled());

    EXPECT_TRUE(window.Tmr.Fire());
    EXPECT_EQ(window.ProgAStt, stpAKT);
    EXPECT_EQ(window.L_Prog.Text(), L"DO AKTUALIZACJI");
    EXPECT_TRUE(hl::Boxes().empty());
}

} // namespace
