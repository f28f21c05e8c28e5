// The FTP folder list window: logged in while it is shown, disconnected when it closes or
// fails, not shown when the login fails; the upgrade transfer window opens it with the
// manager's built-in credentials.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "UpgradeSupport.h"
#include "deploy/Deployment.h"
#include "deploy/Scrambler.h"
#include "gui/Headless.h"
#include "upgrade/Unv_Upgr.h"
#include "upgrade/Upg_FtpL.h"
#include "upgrade/UpguQvx.h"
#include "util/Errors.h"
#include "util/pres.h"

namespace {

namespace hl = gui::headless;

std::wstring Scrambled(const std::string& plain, const char* key) {
    deploy::ScrambledText s =
        deploy::ScrambleText(reinterpret_cast<const char8_t*>(plain.data()), plain.size(), key);
    EXPECT_EQ(s.status, deploy::ScrambleStatus::Ok);
    return FromCp1250(std::string(s.View()));
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class FolderList : public testing::Test {
protected:
    void SetUp() override {
        hl::Reset();
        UseModuleWindows(0);
    }
    void TearDown() override { hl::Reset(); }

    // Runs Run_Modul; returns whether the window was shown, and the sessions the server had
    // open meanwhile.
    bool Run(const FtpTestServer& server, const std::wstring& folder, const std::wstring& host,
             const std::wstring& user, const std::wstring& password, int* sessions = nullptr) {
        UseModuleWindows(server.Port());
        bool shown = false;
        hl::OnModalShow([&](gui::Form& f) {
            shown = true;
            EXPECT_EQ(&f, UpgFFtpL);
            EXPECT_TRUE(UpgFFtpL->LBx.Items().empty());
            if (sessions) *sessions = server.OpenSessions();
            f.Close();
        });
        UpgFFtpL->Run_Modul(folder, host, user, password);
        hl::OnModalShow({});
        return shown;
    }
};

TEST_F(FolderList, LogsInWhileShownAndQuitsWhenClosedWhateverTheFolder) {
    for (const wchar_t* folder : {L"", L"//Upgrade/Dunvel/"}) {
        SCOPED_TRACE(ToUtf8(folder));
        FtpTestServer server = BuiltInScriptedServer(FtpScript());
        int sessions = -1;
        EXPECT_TRUE(Run(server, folder, UnvFUpgr->BuiltInHost, UnvFUpgr->BuiltInUser,
                        UnvFUpgr->BuiltInPassword, &sessions));
        EXPECT_EQ(sessions, 1);
        std::vector<std::string> t = server.Transcript();
        ASSERT_FALSE(t.empty());
        EXPECT_EQ(t.front(), "HOST 127.0.0.1");
        EXPECT_TRUE(Contains(t, "USER " + PlainUser()));
        EXPECT_TRUE(Contains(t, "PASS " + PlainPassword()));
        EXPECT_EQ(t.back(), "QUIT");
        EXPECT_FALSE(std::any_of(t.begin(), t.end(), [](const std::string& l) {
            return l.rfind("CWD", 0) == 0 || l.rfind("PASV", 0) == 0 || l.rfind("PORT", 0) == 0;
        }));
        EXPECT_EQ(server.OpenSessions(), 0);
        EXPECT_FALSE(UpgFFtpL->IdFTP1.Connected());
    }
}

TEST_F(FolderList, ClientSettingsAreItsOwn) {
    UseModuleWindows(0);
    EXPECT_FALSE(UpgFFtpL->IdFTP1.Passive);
    EXPECT_EQ(UpgFFtpL->IdFTP1.TransferType, ftBinary);
    EXPECT_EQ(UpgFFtpL->IdFTP1.ReadTimeout, 60000);
    EXPECT_EQ(UpgFFtpL->IdFTP1.TransferTimeout, 60000);
    EXPECT_FALSE(UpgFFtpL->IdFTP1.OnWork);
    EXPECT_FALSE(UpgFFtpL->IdFTP1.OnWorkBegin);
}

TEST_F(FolderList, AFailedLoginShowsNoWindowAndReachesTheCaller) {
    FtpTestServer server = BuiltInScriptedServer(FtpScript());
    const std::wstring wrong = Scrambled("zle-haslo", deploy::kKeyB);
    EXPECT_THROW(Run(server, L"", UnvFUpgr->BuiltInHost, UnvFUpgr->BuiltInUser, wrong), Error);
    // The server notices the closed connection a moment later: wait for it (up to 5 s).
    EXPECT_EQ(server.Transcript().back(), "QUIT");
    EXPECT_EQ(server.OpenSessions(), 0);
    EXPECT_FALSE(UpgFFtpL->IdFTP1.Connected());

    FtpTestServer gone = BuiltInServer();
    const std::uint16_t port = gone.Port();
    gone.Stop();
    UseModuleWindows(port);
    bool shown = false;
    hl::OnModalShow([&](gui::Form&) { shown = true; });
    EXPECT_THROW(UpgFFtpL->Run_Modul(L"", UnvFUpgr->BuiltInHost, UnvFUpgr->BuiltInUser,
                                     UnvFUpgr->BuiltInPassword),
                 Error);
    EXPECT_FALSE(shown);
    EXPECT_TRUE(hl::Boxes().empty());
}

// The window's client waits no longer than its limits: a login reply trickled past the read
// time-out ends Run_Modul with the time-out and no window; a QUIT reply trickled for ten
// seconds holds the closing window for at most 100 ms of it.
TEST_F(FolderList, ItsWaitsEndWithinTheirLimits) {
    constexpr int kReply = 1500;
    std::vector<std::string> goodbye{"221-Goodbye."};
    for (int i = 0; i < 4; ++i)
        goodbye.push_back(" The server takes its time to say so.");
    goodbye.push_back("221 Bye.");
    struct Case {
        const char* name;
        FtpScript script;
        bool shown;
        std::wstring failure;
        int least, most;  // ms that Run_Modul takes
        std::string last; // the last command the server saw
    };
    const Case cases[] = {
        {"login reply trickled past ReadTimeout",
         FtpScript().Trickle("PASS", {"230 Logged in, one byte at a time."}, 200), false,
         L"Read timed out.", kReply, kReply + 3000, "PASS " + PlainPassword()},
        {"QUIT reply trickled for ten seconds", FtpScript().Trickle("QUIT", goodbye, 50), true, L"",
         0, 3000, "QUIT"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FtpTestServer server = BuiltInScriptedServer(c.script);
        UseModuleWindows(server.Port());
        UpgFFtpL->IdFTP1.ReadTimeout = kReply;
        bool shown = false;
        hl::OnModalShow([&](gui::Form& f) {
            shown = true;
            f.Close();
        });
        std::wstring failure;
        const auto start = std::chrono::steady_clock::now();
        try {
            UpgFFtpL->Run_Modul(L"", UnvFUpgr->BuiltInHost, UnvFUpgr->BuiltInUser,
                                UnvFUpgr->BuiltInPassword);
        } catch (const Error& e) {
            failure = e.Message();
        }
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - start)
                              .count();
        hl::OnModalShow({});
        UpgFFtpL->IdFTP1.ReadTimeout = kFolderListReadTimeoutMs;
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(failure, c.failure);
        EXPECT_GE(took, c.least);
        EXPECT_LT(took, c.most);
        EXPECT_EQ(server.Transcript().back(), c.last);
        EXPECT_EQ(server.OpenSessions(), 0);
        EXPECT_FALSE(UpgFFtpL->IdFTP1.Connected());
    }
}

TEST_F(FolderList, AFailureWhileShownStillDisconnects) {
    FtpTestServer server = BuiltInScriptedServer(FtpScript());
    UseModuleWindows(server.Port());
    hl::OnModalShow([](gui::Form&) { throw EInOutError(L"while shown"); });
    EXPECT_THROW(UpgFFtpL->Run_Modul(L"", UnvFUpgr->BuiltInHost, UnvFUpgr->BuiltInUser,
                                     UnvFUpgr->BuiltInPassword),
                 EInOutError);
    std::vector<std::string> t = server.Transcript();
    ASSERT_FALSE(t.empty());
    EXPECT_EQ(t.back(), "QUIT");
    EXPECT_FALSE(UpgFFtpL->IdFTP1.Connected());
}

TEST_F(FolderList, OnlyTheFirst255CharactersOfACredentialAreUnscrambled) {
    // A 255-character password; what follows it would raise its first letter if it were read.
    std::string longPassword;
    while (longPassword.size() < 255)
        longPassword += "tajne";
    longPassword.resize(255);
    FtpTestServer server = FtpTestServer::Scripted(FtpScript(), PlainUser(), longPassword);
    const std::wstring password = Scrambled(longPassword, deploy::kKeyB) + L"!1";
    ASSERT_GT(password.size(), 255u);
    EXPECT_TRUE(Run(server, L"", UnvFUpgr->BuiltInHost, UnvFUpgr->BuiltInUser, password));
    EXPECT_TRUE(Contains(server.Transcript(), "PASS " + longPassword));
}

TEST_F(FolderList, TheTransferWindowsHiddenButtonOpensItWithTheBuiltInCredentials) {
    FtpTestServer server = BuiltInScriptedServer(FtpScript());
    UseModuleWindows(server.Port());
    bool shown = false;
    hl::OnModalShow([&](gui::Form& f) {
        shown = &f == UpgFFtpL;
        f.Close();
    });
    UpgFqvx->Ed_OdbPlkFtp.SetText(L"  //Upgrade/  ");
    UpgFqvx->SBt_FtpLstClick();
    EXPECT_TRUE(shown);
    std::vector<std::string> t = server.Transcript();
    EXPECT_TRUE(Contains(t, "USER " + PlainUser()));
    EXPECT_EQ(t.back(), "QUIT");
}

} // namespace
