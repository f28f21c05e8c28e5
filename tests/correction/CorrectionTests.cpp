// "START": the correction of a program that is due for update, the refusals, the check of
// the fetched program, and the faults that must leave the installed program intact.

#include <windows.h>

#include <functional>

#include "CorrectionFixture.h"
#include "util/pres.h"

namespace {

// The installed build and the firm's build: both real x64 programs, told apart by the data
// after their sections.
const std::string& OldBuild() {
    static const std::string bytes = TinyProgram(L"x64") + "old build" + std::string(5000, 'o');
    return bytes;
}
const std::string& NewBuild() {
    static const std::string bytes = PaddedImage(TinyProgram(L"x64"), "new build for Alfa", 200000);
    return bytes;
}
const std::wstring kNoProgram = L"Nieprawidłowo wskazany plik programu (.exe) !";
const std::wstring kDone = L"Wykonano korektę adresu Serwera Aktualizacji !";
const std::string kProgRemote = "//Upgrade/Tavrin/Alfa/Prog.exe";
const std::string kOlderBackup = "older backup";

struct Correction : CorrectionFixture {
    std::wstring prog;
    std::wstring updater;
    std::wstring newer; // a second program, where a test installs one

    // An installed program dated before the cut-off, its updater, and the firm's build on
    // the server.
    void Install(const std::wstring& name = L"Prog.exe", const FtpScript* script = nullptr,
                 const std::string& serverBuild = NewBuild()) {
        prog = install.Write(name, OldBuild());
        SetFileLocalTime(prog, 2020, 1, 10, 8, 30);
        updater = install.Write(L"UpdateQV.exe", "updater");
        StartServer("Alfa\r\nBeta\r\n", script);
        ServerFile(L"Alfa\\" + name, serverBuild);
        window.LoadFirmList();
        PickFirm(L"Alfa");
        Choose(prog);
    }
    // Chooses a file in the open-file dialog just before "START": no tick runs in between.
    void ChooseNow(const std::wstring& path) {
        gui::headless::AnswerOpenFile(path);
        window.Ed_PathExe.ClickButton();
    }
    std::wstring Date(const std::wstring& path) {
        std::int32_t size = 0;
        TDateTime date = 0;
        GetFileInfo(path, size, date);
        return DateTimeToStr(date);
    }
    // The program as it was installed, its updater kept, no completion message.
    void ExpectUntouched() {
        EXPECT_TRUE(ReadFileBytes(prog) == OldBuild()) << "the program was changed";
        EXPECT_EQ(Date(prog), L"2020-01-10 08:30:00");
        EXPECT_TRUE(FileExists(updater));
        EXPECT_FALSE(FileExists(prog + L".korekta-nowy")); // no copy is left behind
    }
};

TEST_F(Correction, ADueProgramIsReplacedWithABackupAndItsUpdaterGone) {
    Install();
    ASSERT_EQ(window.L_Prog.Text(), L"DO AKTUALIZACJI");
    window.SBt_Start.Click();

    EXPECT_EQ(ReadFileBytes(prog), NewBuild());
    const std::wstring backup = install / L"Prog.esa";
    EXPECT_EQ(ReadFileBytes(backup), OldBuild());
    EXPECT_EQ(Date(backup), L"2020-01-10 08:30:00");
    EXPECT_FALSE(FileExists(updater));
    EXPECT_EQ(ReadFileBytes(temp / L"Prog.exe"), NewBuild()); // the download stays in TEMP
    auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, gui::MsgKind::Information);
    EXPECT_EQ(boxes[0].text, kDone);
    EXPECT_TRUE(window.Tmr.Enabled());
    EXPECT_TRUE(window.Tmr.Fire());
    EXPECT_EQ(window.L_Prog.Text(), L"OK !");
    EXPECT_FALSE(transfer.Visible());
}

// "START" judges the file as it is at the click: the path in the edit and its status now,
// not the status of the last tick.
TEST_F(Correction, StartJudgesTheChosenFileAsItIsNow) {
    struct Case {
        const char* name;
        std::function<void(Correction&)> arrange; // after Install: Prog.exe due, tick shown
        std::wstring box;                         // the one box the user sees
        bool replaced;                            // Prog.exe is the firm's build afterwards
        std::wstring status;                      // the status "START" determined
    };
    const std::wstring noFirm = L"Value must be between 1 and 2147483647";
    const Case cases[] = {
        {"up to date, chosen just before START", [](Correction& t) { t.ChooseNow(t.newer); }, kDone,
         false, L"OK !"},
        {"due, chosen just before START",
         [](Correction& t) {
             t.Choose(t.newer); // the last tick showed "OK !"
             t.ChooseNow(t.prog);
         },
         kDone, true, L"DO AKTUALIZACJI"},
        {"missing, chosen just before START",
         [](Correction& t) { t.ChooseNow(t.install / L"none.exe"); }, kNoProgram, false, L"----"},
        {"blank path", [](Correction& t) { t.window.Ed_PathExe.SetText(L"   "); }, kNoProgram,
         false, L"----"},
        {"up to date at the last tick",
         [](Correction& t) {
             SetFileLocalTime(t.prog, 2021, 5, 16, 0, 0);
             t.window.Tmr.Fire();
         },
         kDone, false, L"OK !"},
        {"an existing backup is replaced",
         [](Correction& t) { t.install.Write(L"Prog.esa", kOlderBackup); }, kDone, true,
         L"DO AKTUALIZACJI"},
        {"no updater", [](Correction& t) { DeleteFileW(t.updater.c_str()); }, kDone, true,
         L"DO AKTUALIZACJI"},
        {"no firm chosen", [](Correction& t) { t.window.CBx_Firm.SetItemIndex(-1); }, noFirm, false,
         L"DO AKTUALIZACJI"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const wchar_t* name : {L"Prog.esa", L"Nowy.esa"})
            DeleteFileW((install / name).c_str());
        for (const wchar_t* name : {L"Prog.exe", L"Nowy.exe"})
            DeleteFileW((temp / name).c_str());
        Install();
        // A second program, up to date; the server holds a build of it too.
        newer = install.Write(L"Nowy.exe", OldBuild());
        SetFileLocalTime(newer, 2021, 5, 16, 0, 0);
        ServerFile(L"Alfa\\Nowy.exe", NewBuild());
        c.arrange(*this);
        const std::string before = ReadFileBytes(prog);
        window.SBt_Start.Click();
        auto boxes = Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, c.box);
        EXPECT_EQ(EnabledAtBoxes(), std::vector<bool>{true}) << "enabled before the box";
        EXPECT_EQ(window.L_Prog.Text(), c.status);
        EXPECT_TRUE(ReadFileBytes(prog) == (c.replaced ? NewBuild() : before));
        EXPECT_EQ(FileExists(install / L"Prog.esa"), c.replaced);
        if (c.replaced) {
            EXPECT_TRUE(ReadFileBytes(install / L"Prog.esa") == OldBuild());
        }
        // The other program is never touched and nothing of it is fetched.
        EXPECT_TRUE(ReadFileBytes(newer) == OldBuild());
        EXPECT_FALSE(FileExists(install / L"Nowy.esa"));
        EXPECT_FALSE(FileExists(temp / L"Nowy.exe"));
        EXPECT_EQ(FileExists(temp / L"Prog.exe"), c.replaced);
        EXPECT_TRUE(window.Tmr.Enabled()); // the monitor runs again after every exit
        EXPECT_TRUE(window.Enabled());
    }
}

TEST_F(Correction, AProgramWithoutExtensionGetsEsaAppended) {
    Install(L"Prog");
    window.SBt_Start.Click();
    EXPECT_EQ(ReadFileBytes(install / L"Prog.esa"), OldBuild());
    EXPECT_EQ(ReadFileBytes(prog), NewBuild());
}

// Started as a child process by the test below: runs until it is ended.
TEST(DISABLED_ProgramProbe, Run) {
    Sleep(60000);
}

TEST_F(Correction, ARunningProgramIsRefusedAndCorrectedOnceClosed) {
    Install(L"KorProbe.exe");
    // The "installed program" runs: a copy of this test program started from its folder.
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring running = install / L"run\\KorProbe.exe";
    WriteFileAt(running, "");
    ASSERT_TRUE(CopyFileW(self, running.c_str(), FALSE));
    std::wstring cmd = L"\"" + running +
                       L"\" --gtest_also_run_disabled_tests --gtest_filter=DISABLED_ProgramProbe.*";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(running.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &si, &pi));
    for (int i = 0; i < 100 && !IsProcessRunning(L"KorProbe.exe"); ++i)
        Sleep(50);
    ASSERT_TRUE(IsProcessRunning(L"KorProbe.exe"));
    // Started after the last tick: "START" sees it running all the same.
    ASSERT_EQ(window.L_Prog.Text(), L"DO AKTUALIZACJI");
    window.SBt_Start.Click();
    auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, L"Wskazany Program nie może byc uruchomiony !");
    EXPECT_EQ(window.L_Prog.Text(), L"URUCHOMIONY");
    ExpectUntouched();

    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 10000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    for (int i = 0; i < 100 && window.L_Prog.Text() != L"DO AKTUALIZACJI"; ++i) {
        Sleep(50);
        window.Tmr.Fire(); // the monitor runs again after the refusal
    }
    ASSERT_EQ(window.L_Prog.Text(), L"DO AKTUALIZACJI");
    window.SBt_Start.Click();
    EXPECT_EQ(ReadFileBytes(prog), NewBuild());
    EXPECT_EQ(Boxes().at(0).text, kDone);
}

// While the transfer pumps messages the main window takes no input: a second "START", " ..."
// with another program chosen in the dialog, another firm, the title and "Zamknij" all do
// nothing, and the run corrects the program the user started it for.
TEST_F(Correction, TheMainWindowTakesNoInputDuringARun) {
    Install();
    const std::wstring other = install.Write(L"Inny\\Prog.exe", OldBuild());
    SetFileLocalTime(other, 2020, 1, 10, 8, 30);
    const std::wstring otherUpdater = install.Write(L"Inny\\UpdateQV.exe", "updater");
    ServerFile(L"Beta\\Prog.exe", PaddedImage(TinyProgram(L"x64"), "build for Beta", 1000));
    gui::headless::TakeDialogs(); // the choice of the program
    bool closed = false;
    window.OnClose = [&closed] { closed = true; };
    int events = 0;
    bool disabledDuringRun = false;
    transfer.IdFTP1.OnWork = [&](FtpClient& s, WorkMode m, std::int64_t n) {
        if (events++ == 0) { // the user's clicks arrive while the transfer pumps
            disabledDuringRun = !window.Enabled();
            window.SBt_Start.Click();
            gui::headless::AnswerOpenFile(other);
            window.Ed_PathExe.ClickButton();
            window.CBx_Firm.Pick(1);
            window.Label1.Click();
            window.SBt_Zam.Click();
        }
        transfer.IdFTP1Work(s, m, n);
    };
    window.SBt_Start.Click();

    EXPECT_TRUE(disabledDuringRun);
    EXPECT_GT(events, 0);
    EXPECT_TRUE(gui::headless::TakeDialogs().empty()) << "the open-file dialog was opened";
    EXPECT_FALSE(closed);
    EXPECT_EQ(window.ProgFLL, prog);
    EXPECT_EQ(window.Ed_PathExe.Text(), prog);
    EXPECT_EQ(window.CBx_Firm.Text(), L"Alfa");
    auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kDone);
    EXPECT_EQ(EnabledAtBoxes(), std::vector<bool>{true});
    EXPECT_TRUE(window.Enabled());
    EXPECT_TRUE(ReadFileBytes(prog) == NewBuild());
    EXPECT_FALSE(FileExists(updater));
    EXPECT_TRUE(ReadFileBytes(other) == OldBuild());
    EXPECT_TRUE(FileExists(otherUpdater));
    EXPECT_FALSE(FileExists(install / L"Inny\\Prog.esa"));
    // Enabled again, it reacts as before.
    window.Label1.Click();
    EXPECT_EQ(Boxes().size(), 1u);
}

// The fetched file replaces the program only when it is a complete program image for the
// installed program's processor; otherwise the user reads which file and what is wrong,
// and nothing changes.
TEST_F(Correction, OnlyACompleteProgramImageReplacesTheProgram) {
    const std::string& x64 = TinyProgram(L"x64");
    const std::string& x86 = TinyProgram(L"x86");
    struct Case {
        const char* name;
        std::string serverBuild;
        std::wstring problem; // the part of the text that says what is wrong ("" replaces)
        std::string installed = OldBuild();
    };
    const Case cases[] = {
        {"an HTML error page",
         "<html><head><title>404 Not Found</title></head><body>Not Found</body></html>",
         L" nie jest kompletnym programem Windows: brak nagłówka „MZ” na początku pliku."},
        {"a truncated build", x64.substr(0, x64.size() - 700),
         L" nie jest kompletnym programem Windows: dane sekcji nr "},
        {"a build for x86", PaddedImage(x86, "x86 build", 200000),
         L" jest programem dla procesora x86, a zainstalowany program "},
        {"a complete build", NewBuild(), L""},
        // Nothing to compare the processor with: any complete image replaces it.
        {"a complete x86 build over a program that is no image",
         PaddedImage(x86, "x86 build", 200000), L"", "MZ old build " + std::string(5000, 'o')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW((install / L"Prog.esa").c_str());
        DeleteFileW((temp / L"Prog.exe").c_str());
        Install(L"Prog.exe", nullptr, c.serverBuild);
        install.Write(L"Prog.exe", c.installed);
        SetFileLocalTime(prog, 2020, 1, 10, 8, 30);
        window.SBt_Start.Click();
        auto boxes = Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(EnabledAtBoxes(), std::vector<bool>{true});
        EXPECT_TRUE(window.Enabled());
        EXPECT_TRUE(window.Tmr.Enabled());
        if (c.problem.empty()) {
            EXPECT_EQ(boxes[0].text, kDone);
            EXPECT_TRUE(ReadFileBytes(prog) == c.serverBuild);
            EXPECT_TRUE(ReadFileBytes(install / L"Prog.esa") == c.installed);
            EXPECT_FALSE(FileExists(updater));
            continue;
        }
        EXPECT_EQ(boxes[0].kind, gui::MsgKind::Error);
        const std::wstring& text = boxes[0].text;
        EXPECT_EQ(text.rfind(L"Pobrany plik " + (temp / L"Prog.exe") + c.problem, 0), 0u)
            << ToUtf8(text);
        EXPECT_NE(text.find(L"pozostał bez zmian."), std::wstring::npos) << ToUtf8(text);
        EXPECT_TRUE(ReadFileBytes(prog) == c.installed) << "the program was changed";
        EXPECT_EQ(Date(prog), L"2020-01-10 08:30:00");
        EXPECT_FALSE(FileExists(install / L"Prog.esa")) << "a backup was made";
        EXPECT_TRUE(FileExists(updater));
        EXPECT_FALSE(FileExists(prog + L".korekta-nowy"));
    }
}

// TEMP with letters that code page 1250 cannot hold: the firm list and the program's build
// reach the TEMP folder under its own name.
TEST_F(Correction, ATempFolderOutsideCodePage1250KeepsEveryCharacter) {
    const std::wstring folder = temp / L"Тимчасові Προσωρινά";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    SetTemp(folder.c_str());
    Install();
    EXPECT_EQ(window.CBx_Firm.Items(), (std::vector<std::wstring>{L"Alfa", L"Beta"}));
    EXPECT_TRUE(FileExists(folder + L"\\firmy.txt"));
    window.SBt_Start.Click();
    auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kDone);
    EXPECT_EQ(transfer.L_FNaz.Text(), folder + L"\\Prog.exe");
    EXPECT_TRUE(ReadFileBytes(folder + L"\\Prog.exe") == NewBuild());
    EXPECT_TRUE(ReadFileBytes(prog) == NewBuild());
}

// The program is already replaced when the updater cannot be deleted: the user is told to
// delete it by hand, since it would undo the correction; no completion message.
TEST_F(Correction, AnUpdaterThatCannotBeDeletedIsReportedNotCompleted) {
    Install();
    HANDLE held = CreateFileW(updater.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    window.SBt_Start.Click();
    CloseHandle(held);

    const std::wstring backup = install / L"Prog.esa";
    // The platform's own text for the sharing violation, read here without the program's
    // helpers; it stands inside the sentence, so without its closing period.
    wchar_t text[512] = {};
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, ERROR_SHARING_VIOLATION, 0, text, 512, nullptr);
    std::wstring reason(text, length);
    while (!reason.empty() &&
           std::wstring_view(L"\r\n .").find(reason.back()) != std::wstring_view::npos)
        reason.pop_back();
    ASSERT_FALSE(reason.empty());
    EXPECT_EQ(ReadFileBytes(prog), NewBuild());
    EXPECT_EQ(ReadFileBytes(backup), OldBuild());
    EXPECT_EQ(ReadFileBytes(updater), "updater");
    auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, gui::MsgKind::Error);
    EXPECT_EQ(boxes[0].text, L"Program " + prog + L" zastąpiono (kopia zapasowa: " + backup +
                                 L"), ale nie udało się usunąć pliku " + updater + L": " + reason +
                                 L".\r\nUsuń ten plik ręcznie.");
    EXPECT_TRUE(window.Tmr.Enabled());
    EXPECT_FALSE(transfer.Visible());
}

// Every fault leaves the installed program as it was, shows one clear text and no
// completion message.
TEST_F(Correction, FaultsLeaveTheProgramIntact) {
    const auto n = static_cast<std::int64_t>(NewBuild().size());
    struct Case {
        const char* name;
        std::optional<FtpScript> script;
        std::function<void(Correction&)> arrange;
        std::function<void(Correction&)> cleanup;
        std::wstring textPart; // a part of the one text the user sees
        bool backupMade;       // the fault comes after the backup was written
        std::string serverBuild = NewBuild();
        std::function<void(Correction&)> verify = nullptr; // what the row must also leave
    };
    std::vector<Case> cases;
    // The server reports the cut on the control connection.
    for (std::int64_t cut : {std::int64_t{0}, n / 2, n * 99 / 100})
        cases.push_back({"cut", FtpScript().CutData("RETR", cut).Arg(kProgRemote), nullptr, nullptr,
                         L"Connection closed; transfer aborted.\r\n", false});
    cases.push_back({"fewer bytes than SIZE said",
                     FtpScript().Reply("SIZE", 213, "999999").Arg(kProgRemote), nullptr, nullptr,
                     L"nie został pobrany w całości", false});
    cases.push_back({"stall", FtpScript().Stall("RETR").Arg(kProgRemote),
                     [](Correction& t) { t.transfer.IdFTP1.ReadTimeout = 1500; }, nullptr,
                     L"Read timed out.", false});
    cases.push_back({"empty on the server", std::nullopt, nullptr, nullptr,
                     L"Brak pliku //Upgrade/Tavrin/Alfa/Prog.exe na FTP !", false, std::string()});
    cases.push_back(
        {"421 in the session",
         FtpScript().Reply("RETR", 421, "Too many users.").Arg("//Upgrade/Tavrin/Alfa/Prog.exe"),
         nullptr, nullptr, L"Too many users.", false});
    cases.push_back({"TEMP not writable", std::nullopt,
                     [](Correction& t) { t.SetTemp((t.temp / L"no\\such").c_str()); }, nullptr,
                     L"cannot create file " + (temp / L"no\\such\\Prog.exe") + L": ", false});
    HANDLE held = INVALID_HANDLE_VALUE;
    cases.push_back({"program held open without sharing", std::nullopt,
                     [&held](Correction& t) {
                         held = CreateFileW(t.prog.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                            0, nullptr);
                     },
                     [&held](Correction&) {
                         CloseHandle(held);
                         held = INVALID_HANDLE_VALUE;
                     },
                     L"kopii zapasowej", false});
    // Read by another program that does not let it be replaced: the backup is made, the
    // rename over the program fails.
    cases.push_back({"program open without delete sharing", std::nullopt,
                     [&held](Correction& t) {
                         held = CreateFileW(t.prog.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, 0, nullptr);
                     },
                     [&held](Correction&) {
                         CloseHandle(held);
                         held = INVALID_HANDLE_VALUE;
                     },
                     L"pozostał bez zmian", true});
    // The copy beside the program cannot be written.
    cases.push_back(
        {"no room for the copy beside the program", std::nullopt,
         [](Correction& t) { CreateDirectoryW((t.prog + L".korekta-nowy").c_str(), nullptr); },
         [](Correction& t) { RemoveDirectoryW((t.prog + L".korekta-nowy").c_str()); },
         L"pozostał bez zmian", true});
    cases.push_back(
        {"backup held open", std::nullopt,
         [&held](Correction& t) {
             const std::wstring backup = t.install.Write(L"Prog.esa", kOlderBackup);
             held =
                 CreateFileW(backup.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
         },
         [&held](Correction&) {
             CloseHandle(held);
             held = INVALID_HANDLE_VALUE;
         },
         L"kopii zapasowej", false, NewBuild(),
         [](Correction& t) { EXPECT_EQ(ReadFileBytes(t.install / L"Prog.esa"), kOlderBackup); }});
    // A stale download that another program holds: the fetch refuses to overwrite it and
    // leaves it as it is.
    cases.push_back(
        {"download copy in TEMP held open", std::nullopt,
         [&held](Correction& t) {
             const std::wstring stale = t.temp.Write(L"Prog.exe", "stale copy");
             held = CreateFileW(stale.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
         },
         [&held](Correction&) {
             CloseHandle(held);
             held = INVALID_HANDLE_VALUE;
         },
         L"Destination file already exists.", false, NewBuild(),
         [](Correction& t) { EXPECT_EQ(ReadFileBytes(t.temp / L"Prog.exe"), "stale copy"); }});
    cases.push_back({"server unreachable", std::nullopt, [](Correction& t) { t.server->Stop(); },
                     nullptr, L"10061", false});
    // The same files behind a server that refuses the login.
    std::optional<FtpTestServer> refusing;
    cases.push_back({"login refused", std::nullopt,
                     [&refusing](Correction& t) {
                         refusing.emplace(FtpTestServer::Scripted(
                             FtpScript().Reply("PASS", 530, "Login incorrect."), kDeployUser,
                             kDeployPassword, t.server->Root()));
                         t.UseServer(*refusing);
                     },
                     [&refusing](Correction&) { refusing.reset(); }, L"Login incorrect.", false});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring backup = install / L"Prog.esa";
        DeleteFileW(backup.c_str());
        DeleteFileW((temp / L"Prog.exe").c_str());
        SetTemp(temp.Path().c_str());
        transfer.IdFTP1.ReadTimeout = kTransferReadTimeoutMs;
        Install(L"Prog.exe", c.script ? &*c.script : nullptr, c.serverBuild);
        if (c.arrange) c.arrange(*this);
        window.SBt_Start.Click();
        if (c.cleanup) c.cleanup(*this);
        auto boxes = Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_NE(boxes[0].text, kDone);
        ASSERT_FALSE(c.textPart.empty());
        EXPECT_NE(boxes[0].text.find(c.textPart), std::wstring::npos) << ToUtf8(boxes[0].text);
        ExpectUntouched();
        if (c.backupMade) {
            EXPECT_EQ(ReadFileBytes(backup), OldBuild());
        } else {
            EXPECT_FALSE(FileExists(backup) && ReadFileBytes(backup) == OldBuild())
                << "a backup was made";
        }
        if (c.verify) c.verify(*this);
        EXPECT_FALSE(transfer.Visible());
        EXPECT_TRUE(window.Tmr.Enabled());
    }
}

} // namespace
