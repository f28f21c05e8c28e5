// "START": the correction of a program that is due for update, the refusals, and the
// faults that must leave the installed program intact.

#include <windows.h>

#include <functional>

#include "CorrectionFixture.h"
#include "util/pres.h"

namespace {

const std::string kOldBuild = "MZ old build " + std::string(5000, 'o');
const std::string kNewBuild = "MZ new build for Alfa " + PatternBytes(200000, 11);
const std::wstring kDone = L"Wykonano korektę adresu Serwera Aktualizacji !";
const std::string kProgRemote = "//Upgrade/Tavrin/Alfa/Prog.exe";
const std::string kOlderBackup = "older backup";

struct Correction : CorrectionFixture {
    std::wstring prog;
    std::wstring updater;

    // An installed program dated before the cut-off, its updater, and the firm's build on
    // the server.
    void Install(const std::wstring& name = L"Prog.exe", const FtpScript* script = nullptr,
                 const std::string& serverBuild = kNewBuild) {
        prog = install.Write(name, kOldBuild);
        SetFileLocalTime(prog, 2020, 1, 10, 8, 30);
        updater = install.Write(L"UpdateQV.exe", "updater");
        StartServer("Alfa\r\nBeta\r\n", script);
        ServerFile(L"Alfa\\" + name, serverBuild);
        window.LoadFirmList();
        PickFirm(L"Alfa");
        Choose(prog);
    }
    std::wstring Date(const std::wstring& path) {
        std::int32_t size = 0;
        TDateTime date = 0;
        GetFileInfo(path, size, date);
        return DateTimeToStr(date);
    }
    // The program as it was installed, its updater kept, no completion message.
    void ExpectUntouched() {
        EXPECT_TRUE(ReadFileBytes(prog) == kOldBuild) << "the program was changed";
        EXPECT_EQ(Date(prog), L"2020-01-10 08:30:00");
        EXPECT_TRUE(FileExists(updater));
        EXPECT_FALSE(FileExists(prog + L".korekta-nowy")); // no copy is left behind
    }
};

TEST_F(Correction, ADueProgramIsReplacedWithABackupAndItsUpdaterGone) {
    Install();
    ASSERT_EQ(window.L_Prog.Text(), L"DO AKTUALIZACJI");
    window.SBt_Start.Click();

    EXPECT_EQ(ReadFileBytes(prog), kNewBuild);
    const std::wstring backup = install / L"Prog.esa";
    EXPECT_EQ(ReadFileBytes(backup), kOldBuild);
    EXPECT_EQ(Date(backup), L"2020-01-10 08:30:00");
    EXPECT_FALSE(FileExists(updater));
    EXPECT_EQ(ReadFileBytes(temp / L"Prog.exe"), kNewBuild); // the download stays in TEMP
    auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, gui::MsgKind::Information);
    EXPECT_EQ(boxes[0].text, kDone);
    EXPECT_TRUE(window.Tmr.Enabled());
    EXPECT_TRUE(window.Tmr.Fire());
    EXPECT_EQ(window.L_Prog.Text(), L"OK !");
    EXPECT_FALSE(transfer.Visible());
}

TEST_F(Correction, TheCasesOfStart) {
    struct Case {
        const char* name;
        std::function<void(Correction&)> arrange;
        std::wstring box;    // the one box the user sees
        bool replaced;       // the program is the new build afterwards
        std::wstring backup; // the backup's name ("" none)
    };
    const std::wstring noPath = L"Nieprawidłowo wskazany plik programu (.exe) !";
    const Case cases[] = {
        {"up to date",
         [](Correction& t) {
             SetFileLocalTime(t.prog, 2021, 5, 16, 0, 0);
             t.window.Tmr.Fire();
         },
         kDone, false, L""},
        {"missing", [](Correction& t) { t.Choose(t.install / L"none.exe"); }, kDone, false, L""},
        {"not examined", [](Correction& t) { t.window.ProgAStt = stpNULL; }, kDone, false, L""},
        {"blank path", [](Correction& t) { t.window.Ed_PathExe.SetText(L"   "); }, noPath, false,
         L""},
        {"an existing backup is replaced",
         [](Correction& t) { t.install.Write(L"Prog.esa", "older backup"); }, kDone, true,
         L"Prog.esa"},
        {"no updater", [](Correction& t) { DeleteFileW(t.updater.c_str()); }, kDone, true,
         L"Prog.esa"},
        {"no firm chosen", [](Correction& t) { t.window.CBx_Firm.SetItemIndex(-1); },
         L"Value must be between 1 and 2147483647", false, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW((install / L"Prog.esa").c_str());
        Install();
        c.arrange(*this);
        const std::string before = ReadFileBytes(prog);
        window.SBt_Start.Click();
        auto boxes = Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, c.box);
        EXPECT_EQ(ReadFileBytes(prog), c.replaced ? kNewBuild : before);
        if (!c.backup.empty()) {
            EXPECT_EQ(ReadFileBytes(install / c.backup), kOldBuild);
        }
        if (!c.replaced) {
            EXPECT_FALSE(FileExists(install / L"Prog.esa"));
        }
        EXPECT_TRUE(window.Tmr.Enabled()); // the monitor runs again after every exit
    }
}

TEST_F(Correction, AProgramWithoutExtensionGetsEsaAppended) {
    Install(L"Prog");
    window.SBt_Start.Click();
    EXPECT_EQ(ReadFileBytes(install / L"Prog.esa"), kOldBuild);
    EXPECT_EQ(ReadFileBytes(prog), kNewBuild);
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
    for (int i = 0; i < 100 && window.L_Prog.Text() != L"URUCHOMIONY"; ++i) {
        Sleep(50);
        window.Tmr.Fire();
    }
    ASSERT_EQ(window.L_Prog.Text(), L"URUCHOMIONY");
    window.SBt_Start.Click();
    auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, L"Wskazany Program nie może byc uruchomiony !");
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
    EXPECT_EQ(ReadFileBytes(prog), kNewBuild);
    EXPECT_EQ(Boxes().at(0).text, kDone);
}

TEST_F(Correction, ASecondStartDuringARunIsIgnored) {
    Install();
    int clicks = 0;
    transfer.IdFTP1.OnWork = [&](FtpClient& s, WorkMode m, std::int64_t n) {
        if (clicks++ == 0) window.SBt_Start.Click(); // arrives while the transfer pumps
        transfer.IdFTP1Work(s, m, n);
    };
    window.SBt_Start.Click();
    auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kDone);
    EXPECT_EQ(ReadFileBytes(prog), kNewBuild);
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
    std::wstring reason = SystemErrorMessage(ERROR_SHARING_VIOLATION);
    if (reason.ends_with(L'.')) reason.pop_back(); // it stands inside the sentence
    EXPECT_EQ(ReadFileBytes(prog), kNewBuild);
    EXPECT_EQ(ReadFileBytes(backup), kOldBuild);
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
    const auto n = static_cast<std::int64_t>(kNewBuild.size());
    struct Case {
        const char* name;
        std::optional<FtpScript> script;
        std::function<void(Correction&)> arrange;
        std::function<void(Correction&)> cleanup;
        const wchar_t* textPart; // a part of the one text the user sees
        bool backupMade;         // the fault comes after the backup was written
        std::string serverBuild = kNewBuild;
        std::function<void(Correction&)> verify = nullptr; // what the row must also leave
    };
    std::vector<Case> cases;
    for (std::int64_t cut : {std::int64_t{0}, n / 2, n * 99 / 100})
        cases.push_back({"cut", FtpScript().CutData("RETR", cut).Arg(kProgRemote), nullptr, nullptr,
                         L"", false});
    cases.push_back({"fewer bytes than SIZE said",
                     FtpScript().Reply("SIZE", 213, "999999").Arg(kProgRemote), nullptr, nullptr,
                     L"nie został pobrany w całości", false});
    cases.push_back({"stall", FtpScript().Stall("RETR").Arg(kProgRemote),
                     [](Correction& t) { t.transfer.IdFTP1.ReadTimeout = 1500; }, nullptr, L"",
                     false});
    cases.push_back({"empty on the server", std::nullopt, nullptr, nullptr,
                     L"Brak pliku //Upgrade/Tavrin/Alfa/Prog.exe na FTP !", false, std::string()});
    cases.push_back(
        {"421 in the session",
         FtpScript().Reply("RETR", 421, "Too many users.").Arg("//Upgrade/Tavrin/Alfa/Prog.exe"),
         nullptr, nullptr, L"Too many users.", false});
    cases.push_back({"TEMP not writable", std::nullopt,
                     [](Correction& t) { t.SetTemp((t.temp / L"no\\such").c_str()); }, nullptr, L"",
                     false});
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
         L"kopii zapasowej", false, kNewBuild,
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
         L"Destination file already exists.", false, kNewBuild,
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
        EXPECT_NE(boxes[0].text.find(c.textPart), std::wstring::npos) << ToUtf8(boxes[0].text);
        ExpectUntouched();
        if (c.backupMade) {
            EXPECT_EQ(ReadFileBytes(backup), kOldBuild);
        } else {
            EXPECT_FALSE(FileExists(backup) && ReadFileBytes(backup) == kOldBuild)
                << "a backup was made";
        }
        if (c.verify) c.verify(*this);
        EXPECT_FALSE(transfer.Visible());
        EXPECT_TRUE(window.Tmr.Enabled());
    }
}

} // namespace
