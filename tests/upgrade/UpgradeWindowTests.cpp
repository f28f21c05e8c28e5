// The upgrade transfer window through the headless backend: the pages that Run_Modul offers
// and fills, the input dialogs, and "Start" on each page against a real server.

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "TestFolder.h"
#include "UpgradeSupport.h"
#include "ftp/Unv_CFtp.h"
#include "gui/Headless.h"
#include "pack/Unv_MZip.h"
#include "upgrade/Unv_Upgr.h"
#include "upgrade/UpguQvx.h"
#include "util/pres.h"

namespace {

namespace hl = gui::headless;

// What the window offered while it was shown.
struct Shown {
    std::vector<std::wstring> tabs;
    std::wstring active;
    std::wstring odbPlkFtp, odbKatLoc, nadPlkLoc, nadKatFtp, initialDir;
    bool pobEnabled = false, wysEnabled = false;
};

// Runs Run_Modul; while the window is shown, act runs and then the window is read and
// closed with its "Wyjdź" button.
Shown RunShown(TUpgFqvx& w, TOpcRW op, const std::wstring& par1, const std::wstring& par2, bool rOn,
               bool vsKom, std::function<void(TUpgFqvx&)> act = {}) {
    Shown s;
    bool shown = false;
    hl::OnModalShow([&](gui::Form&) {
        shown = true;
        if (act) act(w);
        for (gui::TabSheet* t : w.PgOdbNad.VisibleTabs())
            s.tabs.push_back(t->Caption());
        s.active = w.PgOdbNad.ActivePage() ? w.PgOdbNad.ActivePage()->Caption() : L"";
        s.odbPlkFtp = w.Ed_OdbPlkFtp.Text();
        s.odbKatLoc = w.Ed_OdbKatLoc.Text();
        s.nadPlkLoc = w.Ed_NadPlkLoc.Text();
        s.nadKatFtp = w.Ed_NadKatFtp.Text();
        s.initialDir = w.Ed_NadPlkLoc.Dialog().InitialDir();
        s.pobEnabled = w.Sh_PobFtp.Enabled();
        s.wysEnabled = w.Sh_WysFtp.Enabled();
        (w.PgOdbNad.ActivePage() == &w.Sh_WysFtp ? w.SBt_Wyj2 : w.SBt_Wyj).Click();
        EXPECT_NE(w.GetModalResult(), gui::ModalResult::None) << "\"Wyjdź\" ends the show";
    });
    w.Run_Modul(op, par1, par2, rOn, vsKom);
    hl::OnModalShow({});
    EXPECT_TRUE(shown);
    return s;
}

const std::wstring kPob = L" Pobierz z FTP";
const std::wstring kWys = L" Wyślij do FTP";

class UpgradeWindow : public testing::Test {
protected:
    void SetUp() override {
        hl::Reset();
        UseModuleWindows(0);
    }
    void TearDown() override { hl::Reset(); }
};

TEST_F(UpgradeWindow, StartsWithNoResultsAndTheFetchPageActive) {
    TUpgFqvx w;
    EXPECT_TRUE(w.PlikL().empty());
    EXPECT_TRUE(w.PlikF().empty());
    EXPECT_EQ(w.PgOdbNad.ActivePage(), &w.Sh_PobFtp);
    EXPECT_FALSE(w.SBt_FtpLst.Visible());
    EXPECT_EQ(w.Caption(), L"UPGRADE QVX*");
}

TEST_F(UpgradeWindow, RunModulOffersAndFillsThePagesOfTheDirection) {
    const std::wstring program = ProgramFolder();
    struct Case {
        TOpcRW op;
        bool rOn;
        std::vector<std::wstring> tabs;
        std::wstring active, odbPlkFtp, odbKatLoc, nadPlkLoc, nadKatFtp, initialDir;
    } cases[] = {
        {orwRead, true, {kPob}, kPob, L"//Upgrade/Dunvel/Dunvel.cab", L"d:\\x", L"", L"", L""},
        {orwRead,
         false,
         {kPob, kWys},
         kPob,
         L"//Upgrade/Dunvel/Dunvel.cab",
         L"d:\\x",
         L"",
         L"",
         L""},
        {orwWrite,
         false,
         {kPob, kWys},
         kWys,
         L"",
         L"",
         L"//Upgrade/Dunvel/Dunvel.cab",
         L"d:\\x",
         L""},
        {orwWrite, true, {kWys}, kWys, L"", L"", L"//Upgrade/Dunvel/Dunvel.cab", L"d:\\x", L""},
        {orwALL, true, {kPob, kWys}, kPob, L"//Upgrade/", program, L"", L"//Upgrade/", program},
        {orwALL, false, {kPob, kWys}, kPob, L"//Upgrade/", program, L"", L"//Upgrade/", program},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "direction " << int(c.op) << " only " << c.rOn);
        TUpgFqvx w;
        Shown s = RunShown(w, c.op, L"//Upgrade/Dunvel/Dunvel.cab", L"d:\\x", c.rOn, false);
        EXPECT_EQ(s.tabs, c.tabs);
        EXPECT_EQ(s.active, c.active);
        EXPECT_EQ(s.pobEnabled, c.tabs.front() == kPob);
        EXPECT_EQ(s.wysEnabled, c.tabs.back() == kWys);
        EXPECT_EQ(s.odbPlkFtp, c.odbPlkFtp);
        EXPECT_EQ(s.odbKatLoc, c.odbKatLoc);
        EXPECT_EQ(s.nadPlkLoc, c.nadPlkLoc);
        EXPECT_EQ(s.nadKatFtp, c.nadKatFtp);
        EXPECT_EQ(s.initialDir, c.initialDir);
    }
}

TEST_F(UpgradeWindow, ATabHiddenByOneShowIsOfferedAgainByTheNext) {
    TUpgFqvx w;
    Shown first = RunShown(w, orwWrite, L"c:\\a.exe", L"//Upgrade/A/", true, false);
    EXPECT_EQ(first.tabs, (std::vector<std::wstring>{kWys}));
    Shown second = RunShown(w, orwRead, L"//Upgrade/B/b.cab", L"d:\\b", false, false);
    EXPECT_EQ(second.tabs, (std::vector<std::wstring>{kPob, kWys}));
    EXPECT_TRUE(second.pobEnabled);
    EXPECT_EQ(second.active, kPob);
    // The edits keep their texts between shows unless a show replaces them.
    EXPECT_EQ(second.nadPlkLoc, L"c:\\a.exe");
    EXPECT_EQ(second.odbPlkFtp, L"//Upgrade/B/b.cab");
}

TEST_F(UpgradeWindow, TheInputDialogsFillTheirEditOnlyWhenConfirmed) {
    struct Case {
        std::optional<std::wstring> answer;
        std::wstring expected;
    } cases[] = {{std::nullopt, L"before"}, {L"", L""}, {L"  //Upgrade/X/  ", L"  //Upgrade/X/  "}};
    for (const Case& c : cases) {
        TUpgFqvx w;
        w.Ed_OdbPlkFtp.SetText(L"before");
        w.Ed_NadKatFtp.SetText(L"before");
        hl::AnswerInput(c.answer);
        w.Ed_OdbPlkFtp.ClickButton();
        hl::AnswerInput(c.answer);
        w.Ed_NadKatFtp.ClickButton();
        EXPECT_EQ(w.Ed_OdbPlkFtp.Text(), c.expected);
        EXPECT_EQ(w.Ed_NadKatFtp.Text(), c.expected);
        auto dialogs = hl::TakeDialogs();
        ASSERT_EQ(dialogs.size(), 2u);
        EXPECT_EQ(dialogs[0].caption, L"DANE Z FTP");
        EXPECT_EQ(dialogs[0].prompt, L"Wpisz nazwę pliku na FTP...");
        EXPECT_EQ(dialogs[1].caption, L"DANE Z FTP");
        EXPECT_EQ(dialogs[1].prompt, L"Wpisz nazwę katalogu na FTP...");
    }
}

class UpgradeWindowStart : public UpgradeWindow {
protected:
    void SetUp() override {
        UpgradeWindow::SetUp();
        server_ = std::make_unique<FtpTestServer>(BuiltInServer());
        WriteWholeFile(server_->Root() + L"Upgrade\\Dunvel\\Dunvel.cab",
                       FixtureBytes("program.cab"));
        UseModuleWindows(server_->Port());
        RemoveUpdateFolders();
    }
    void TearDown() override {
        RemoveUpdateFolders();
        UpgradeWindow::TearDown();
    }
    std::unique_ptr<FtpTestServer> server_;
};

TEST_F(UpgradeWindowStart, FetchGoesToANewUpdateFolderAndIsReportedOnlyWithVsKom) {
    for (bool vsKom : {true, false}) {
        SCOPED_TRACE(vsKom);
        TUpgFqvx w;
        std::vector<hl::MessageBoxRecord> boxes;
        RunShown(w, orwRead, L"  //Upgrade/Dunvel/Dunvel.cab  ", L"d:\\x", true, vsKom,
                 [&](TUpgFqvx& f) {
                     f.Sbt_OdbStart.Click();
                     boxes = hl::TakeBoxes();
                 });
        EXPECT_TRUE(IsUpdateFolder(ExtractFilePath(w.PlikL()))) << ToUtf8(w.PlikL());
        EXPECT_EQ(ExtractFileName(w.PlikL()), L"Dunvel.exe");
        EXPECT_TRUE(FileExists(w.PlikL()));
        if (vsKom) {
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].kind, gui::MsgKind::Plain);
            EXPECT_EQ(boxes[0].text, L"Pobrano " + w.PlikL());
        } else {
            EXPECT_TRUE(boxes.empty());
        }
        RemoveUpdateFolders();
    }
}

TEST_F(UpgradeWindowStart, SendReportsThePublishedArchiveAndAFailedSendKeepsIt) {
    TestFolder local;
    const std::wstring program = local.Write(L"Brondel\\Dunvel.exe", PatternBytes(5000, 3));
    TUpgFqvx w;
    std::vector<hl::MessageBoxRecord> boxes;
    RunShown(w, orwWrite, L"  " + program + L" ", L" //Upgrade/Dunvel ", false, false,
             [&](TUpgFqvx& f) {
                 f.Sbt_NadStart.Click();
                 boxes = hl::TakeBoxes();
             });
    EXPECT_EQ(w.PlikF(), L"//Upgrade/Dunvel/Dunvel.cab");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, gui::MsgKind::Plain);
    EXPECT_EQ(boxes[0].text, L"Wysłano //Upgrade/Dunvel/Dunvel.cab");
    EXPECT_TRUE(FileExists(server_->Root() + L"Upgrade\\Dunvel\\Dunvel.cab"));

    // A program that is not there: nothing is published, the failure is shown, no "Wysłano ".
    RunShown(w, orwWrite, local / L"Brondel\\Brak.exe", L"//Upgrade/Brak", false, false,
             [&](TUpgFqvx& f) {
                 f.Sbt_NadStart.Click();
                 boxes = hl::TakeBoxes();
                 EXPECT_TRUE(f.Visible() && f.GetModalResult() == gui::ModalResult::None)
                     << "the window stays open";
             });
    EXPECT_EQ(w.PlikF(), L"//Upgrade/Dunvel/Dunvel.cab");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, gui::MsgKind::Error);
    EXPECT_EQ(boxes[0].text.find(L"Wysłano"), std::wstring::npos);
    EXPECT_EQ(boxes[0].text, L"Nie można spakować pliku " + local / L"Brondel\\Brak.exe" +
                                 L" do archiwum " + local / L"Brondel\\Brak.cab" + L" (błąd " +
                                 std::to_wstring(UnvFMZip->CCompr.LastError()) + L").");
    EXPECT_FALSE(FileExists(server_->Root() + L"Upgrade\\Brak\\Brak.cab"));
}

TEST_F(UpgradeWindowStart, AFailedFetchShowsOnlyItsOwnBoxAndKeepsTheLastResult) {
    const std::wstring root = server_->Root();
    WriteWholeFile(root + L"Upgrade\\Dunvel\\empty.cab", "");
    WriteWholeFile(root + L"Upgrade\\Dunvel\\Cut.cab", FixtureBytes("program.cab").substr(0, 300));
    struct Case {
        const wchar_t* remote;
        gui::MsgKind kind;
        const wchar_t* text;
    } cases[] = {
        {L"//Upgrade/Dunvel/missing.cab", gui::MsgKind::Error,
         L"Value must be between 1 and 2147483647"},
        {L"//Upgrade/Dunvel/empty.cab", gui::MsgKind::Plain,
         L"Brak pliku //Upgrade/Dunvel/empty.cab na FTP !"},
        {L"//Upgrade/Dunvel/Cut.cab", gui::MsgKind::Plain, L"Błąd: 4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.remote));
        TUpgFqvx w;
        std::wstring previous;
        std::vector<hl::MessageBoxRecord> boxes;
        RunShown(w, orwRead, L"//Upgrade/Dunvel/Dunvel.cab", L"", true, true, [&](TUpgFqvx& f) {
            f.Sbt_OdbStart.Click();
            previous = f.PlikL();
            hl::ClearBoxes();
            f.Ed_OdbPlkFtp.SetText(c.remote);
            f.Sbt_OdbStart.Click();
            boxes = hl::TakeBoxes();
            EXPECT_TRUE(f.Visible() && f.GetModalResult() == gui::ModalResult::None)
                << "the window stays open";
        });
        ASSERT_TRUE(FileExists(previous)) << "the first fetch succeeded";
        EXPECT_EQ(w.PlikL(), previous);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].kind, c.kind);
        EXPECT_EQ(boxes[0].text, c.text);
        RemoveUpdateFolders();
    }
}

} // namespace

// While a send or a fetch runs (the transfer pumps messages) the window takes no input: no
// second "Start", no "Wyjdź", no other tab. It is enabled again before the box that reports
// the result, and after a failure.
TEST_F(UpgradeWindowStart, TheWindowTakesNoInputWhileItsStartRuns) {
    TestFolder local;
    const std::wstring program = local.Write(L"Brondel\\Dunvel.exe", PatternBytes(5000, 3));
    TUpgFqvx w;
    std::vector<bool> enabledAtBoxes;
    hl::OnMessageBox([&](const hl::MessageBoxRecord&) { enabledAtBoxes.push_back(w.Enabled()); });
    struct Restore {
        std::function<void(FtpClient&, WorkMode, std::int64_t)> saved = UnvFCFtp->IdFTP1.OnWork;
        ~Restore() { UnvFCFtp->IdFTP1.OnWork = saved; }
    } restore;
    int events = 0;
    bool disabledDuringRun = false;
    UnvFCFtp->IdFTP1.OnWork = [&](FtpClient& s, WorkMode m, std::int64_t n) {
        if (events++ == 0) {
            disabledDuringRun = !w.Enabled();
            w.Sbt_NadStart.Click();
            w.Sbt_OdbStart.Click();
            w.SBt_Wyj.Click();
            w.SBt_Wyj2.Click();
            w.PgOdbNad.SelectTab(w.PgOdbNad.ActivePage() == &w.Sh_PobFtp ? w.Sh_WysFtp
                                                                         : w.Sh_PobFtp);
        }
        restore.saved(s, m, n);
    };
    struct Case {
        const char* name;
        TOpcRW op;
        std::wstring par1, par2;
        std::wstring box; // the start of the one box
    };
    const Case cases[] = {
        {"send", orwWrite, program, L"//Upgrade/Dunvel", L"Wysłano //Upgrade/Dunvel/Dunvel.cab"},
        {"fetch", orwRead, L"//Upgrade/Dunvel/Dunvel.cab", L"", L"Pobrano "},
        {"failed fetch", orwRead, L"//Upgrade/Dunvel/missing.cab", L"",
         L"Value must be between 1 and 2147483647"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        events = 0;
        disabledDuringRun = false;
        enabledAtBoxes.clear();
        hl::ClearBoxes();
        gui::ModalResult afterStart = gui::ModalResult::Ok;
        gui::TabSheet* pageAfterStart = nullptr;
        RunShown(w, c.op, c.par1, c.par2, true, true, [&](TUpgFqvx& f) {
            (c.op == orwWrite ? f.Sbt_NadStart : f.Sbt_OdbStart).Click();
            afterStart = f.GetModalResult();
            pageAfterStart = f.PgOdbNad.ActivePage();
        });
        // The failed fetch stops at the size query, before any byte moves.
        if (c.op == orwWrite || c.box == L"Pobrano ") {
            EXPECT_GT(events, 0);
            EXPECT_TRUE(disabledDuringRun);
        }
        EXPECT_EQ(afterStart, gui::ModalResult::None) << "\"Wyjdź\" during the run ended the show";
        EXPECT_EQ(pageAfterStart, c.op == orwWrite ? &w.Sh_WysFtp : &w.Sh_PobFtp);
        auto boxes = hl::TakeBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text.rfind(c.box, 0), 0u) << ToUtf8(boxes[0].text);
        EXPECT_EQ(enabledAtBoxes, std::vector<bool>{true});
        EXPECT_TRUE(w.Enabled());
        RemoveUpdateFolders();
    }
}
