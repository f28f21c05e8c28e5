// The FTP transfer window against scripted and real servers: the commands each operation
// sends, its failures, its own reports, and that the window is hidden and the connection
// closed on every path.

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

#include "FtpTestServer.h"
#include "TestFolder.h"
#include "deploy/Deployment.h"
#include "ftp/Unv_CFtp.h"
#include "gui/Headless.h"
#include "util/pres.h"

namespace {

namespace hl = gui::headless;
using Commands = std::vector<std::string>;

const std::string kUser = reinterpret_cast<const char*>(KOREKTA_PLAIN_USER);
const std::string kPassword = reinterpret_cast<const char*>(KOREKTA_PLAIN_PASSWORD);

// The commands after the login (everything after SYST and the TYPE that follows it).
Commands AfterLogin(const Commands& all) {
    for (std::size_t i = 0; i + 1 < all.size(); ++i)
        if (all[i] == "SYST" && all[i + 1].rfind("TYPE", 0) == 0)
            return Commands(all.begin() + static_cast<long>(i) + 2, all.end());
    return all;
}

// Only the verbs.
Commands Verbs(const Commands& commands) {
    Commands out;
    for (const auto& c : commands)
        out.push_back(c.substr(0, c.find(' ')));
    return out;
}

struct TransferWindow : testing::Test {
    TUnvFCFtp window;
    TestFolder local;

    void SetUp() override {
        hl::Reset();
        UnvFCFtp = &window;
    }
    void TearDown() override {
        UnvFCFtp = nullptr;
        hl::Reset();
    }
    // Points the window at the server with the built-in (scrambled) credentials.
    void Use(const FtpTestServer& server) {
        window.IdFTP1.Port = server.Port();
        window.Init_Ftp(deploy::ScrambledHost(), deploy::ScrambledUser(),
                        deploy::ScrambledPassword(), false);
    }
    template <class F>
    std::wstring FailureOf(F&& f) {
        try {
            f();
        } catch (const EAbort&) {
            return L"<abort>";
        } catch (const Error& e) {
            return e.Message();
        }
        return L"<none>";
    }
};

TEST_F(TransferWindow, InitFtpUnscramblesTheBuiltInCredentials) {
    window.Init_Ftp(deploy::ScrambledHost(), deploy::ScrambledUser(), deploy::ScrambledPassword(),
                    false);
    EXPECT_EQ(ToUtf8(window.Hst), reinterpret_cast<const char*>(KOREKTA_PLAIN_HOST));
    EXPECT_EQ(ToUtf8(window.Usr), kUser);
    EXPECT_EQ(ToUtf8(window.Pas), kPassword);
    window.Init_Ftp(L"050051", L"066", L"", true);
    EXPECT_EQ(window.Hst, L"12");
    EXPECT_EQ(window.Usr, L"A");
    EXPECT_EQ(window.Pas, L"");
    EXPECT_TRUE(window.IdFTP1.Passive);
    EXPECT_EQ(window.IdFTP1.TransferType, ftBinary);
    EXPECT_EQ(window.IdFTP1.ReadTimeout, 60000);
    EXPECT_EQ(window.IdFTP1.TransferTimeout, 60000);
}

TEST_F(TransferWindow, FetchSendsSizeTwiceThenRetrAndQuitsAfterTheWait) {
    auto server = FtpTestServer::Scripted(FtpScript(), kUser, kPassword);
    const std::string bytes = PatternBytes(100000, 7);
    WriteFileAt(server.Root() + L"Upgrade\\Tavrin\\firmy.txt", bytes);
    Use(server);
    bool shownDuringTransfer = false;
    window.IdFTP1.OnWork = [&](FtpClient& s, WorkMode m, std::int64_t n) {
        shownDuringTransfer = window.Visible();
        window.IdFTP1Work(s, m, n);
    };
    const std::wstring target = local / L"firmy.txt";
    window.PlikFromFtp(L"//Upgrade/Tavrin/firmy.txt", target, false);

    EXPECT_EQ(ReadFileBytes(target), bytes);
    EXPECT_TRUE(shownDuringTransfer);
    EXPECT_FALSE(window.Visible());
    EXPECT_FALSE(window.IdFTP1.Connected());
    EXPECT_EQ(window.L_FNaz.Text(), target);
    EXPECT_EQ(window.L_FDst.Text(), L"//Upgrade/Tavrin/firmy.txt");
    EXPECT_EQ(window.PBarF.Maximum(), 100000);
    EXPECT_EQ(window.PBarF.Position(), 100000);
    EXPECT_EQ(AfterLogin(server.Transcript()),
              (Commands{"SIZE //Upgrade/Tavrin/firmy.txt", "SIZE //Upgrade/Tavrin/firmy.txt",
                        "PASV", "RETR //Upgrade/Tavrin/firmy.txt", "QUIT"}));
    EXPECT_TRUE(hl::Boxes().empty());
}

TEST_F(TransferWindow, FetchFailuresAndReports) {
    struct Case {
        const char* name;
        FtpScript script;
        std::string remoteBytes; // the file on the server
        std::wstring failure;    // the text the caller gets
        Commands verbs;          // after the login
        std::wstring box;        // the window's own report
    };
    const std::wstring range = L"Value must be between 1 and 2147483647";
    std::vector<Case> cases;
    cases.push_back({"missing file", FtpScript(), "", range, {"SIZE", "QUIT"}, L""});
    cases.push_back({"empty file",
                     FtpScript(),
                     std::string(),
                     L"<abort>",
                     {"SIZE", "SIZE", "QUIT"},
                     L"Brak pliku //p/a.bin na FTP !"});
    cases.push_back({"fewer bytes than SIZE said",
                     FtpScript().Reply("SIZE", 213, "5000"),
                     std::string(3000, 'x'),
                     L"Plik //p/a.bin nie został pobrany w całości: " + local / L"a.bin" +
                         L" ma 3000 bajtów, a serwer podał 5000.",
                     {"SIZE", "SIZE", "PASV", "RETR", "QUIT"},
                     L""});
    cases.push_back({"cut at half",
                     FtpScript().CutData("RETR", 2000),
                     std::string(4000, 'y'),
                     L"Connection closed; transfer aborted.\r\n",
                     {"SIZE", "SIZE", "PASV", "RETR", "QUIT"},
                     L""});
    // SIZE takes any reply; RETR does not take 421: closed at once, no QUIT.
    cases.push_back({"421 at RETR",
                     FtpScript().Reply("RETR", 421, "Service closing."),
                     std::string(10, 'z'),
                     L"Service closing.\r\n",
                     {"SIZE", "SIZE", "PASV", "RETR"},
                     L""});
    // 2 GiB: the bar takes the low 32 bits as a signed value, a negative maximum.
    cases.push_back({"2 GiB by SIZE",
                     FtpScript().Reply("SIZE", 213, "2147483648"),
                     std::string(10, 'w'),
                     range,
                     {"SIZE", "QUIT"},
                     L""});
    // 4 GiB + 100: the bar's maximum is 100, the fetch itself goes by the whole size.
    cases.push_back({"4 GiB + 100 by SIZE, 300 bytes served",
                     FtpScript().Reply("SIZE", 213, "4294967396"),
                     std::string(300, 'v'),
                     L"Plik //p/a.bin nie został pobrany w całości: " + local / L"a.bin" +
                         L" ma 300 bajtów, a serwer podał 4294967396.",
                     {"SIZE", "SIZE", "PASV", "RETR", "QUIT"},
                     L""});
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        hl::Reset();
        auto server = FtpTestServer::Scripted(c.script, kUser, kPassword);
        if (std::string(c.name) != "missing file")
            WriteFileAt(server.Root() + L"p\\a.bin", c.remoteBytes);
        Use(server);
        const std::wstring target = local / L"a.bin";
        const std::wstring failure =
            FailureOf([&] { window.PlikFromFtp(L"//p/a.bin", target, false); });
        if (c.failure != L"*") {
            EXPECT_EQ(failure, c.failure);
        }
        EXPECT_NE(failure, L"<none>");
        EXPECT_FALSE(FileExists(target)); // nothing that could pass as the file
        EXPECT_FALSE(window.Visible());
        EXPECT_FALSE(window.IdFTP1.Connected());
        EXPECT_EQ(Verbs(AfterLogin(server.Transcript())), c.verbs);
        const auto boxes = hl::TakeBoxes();
        if (c.box.empty()) {
            EXPECT_TRUE(boxes.empty());
        } else {
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].kind, gui::MsgKind::Plain);
            EXPECT_EQ(boxes[0].text, c.box);
        }
    }
}

TEST_F(TransferWindow, FetchNeverOverwritesALocalFile) {
    auto server = FtpTestServer::Scripted(FtpScript(), kUser, kPassword);
    WriteFileAt(server.Root() + L"a.txt", "new");
    const std::wstring target = local.Write(L"a.txt", "old");
    Use(server);
    EXPECT_EQ(FailureOf([&] { window.PlikFromFtp(L"//a.txt", target, false); }),
              L"Destination file already exists.");
    EXPECT_EQ(ReadFileBytes(target), "old");
    EXPECT_EQ(Verbs(AfterLogin(server.Transcript())), (Commands{"SIZE", "SIZE", "QUIT"}));
}

TEST_F(TransferWindow, StoreMakesTheFolderOnlyWhenCwdIsRefused) {
    auto server = FtpTestServer::Scripted(FtpScript(), kUser, kPassword);
    const std::string bytes = PatternBytes(70000, 3);
    const std::wstring file = local.Write(L"Dunvel.cab", bytes);
    WriteFileAt(server.Root() + L"Upgrade\\keep.txt", "");
    Use(server);

    window.PlikToFtp(file, L"//Upgrade/Dunvel/Dunvel.cab", false); // the folder is missing
    EXPECT_EQ(ReadFileBytes(server.Root() + L"Upgrade\\Dunvel\\Dunvel.cab"), bytes);
    EXPECT_EQ(AfterLogin(server.Transcript()),
              (Commands{"CWD //Upgrade/Dunvel/", "MKD //Upgrade/Dunvel/", "PASV",
                        "STOR //Upgrade/Dunvel/Dunvel.cab", "QUIT"}));
    EXPECT_EQ(window.PBarF.Maximum(), 70000);
    EXPECT_FALSE(window.Visible());

    auto again = FtpTestServer::Scripted(FtpScript(), kUser, kPassword, server.Root());
    Use(again);
    window.PlikToFtp(file, L"//Upgrade/Dunvel/Dunvel.cab", false); // now it exists: no MKD
    EXPECT_EQ(Verbs(AfterLogin(again.Transcript())), (Commands{"CWD", "PASV", "STOR", "QUIT"}));
}

TEST_F(TransferWindow, StoreFailuresAndReports) {
    const std::wstring range = L"Value must be between 1 and 2147483647";
    struct Case {
        const char* name;
        FtpScript script;
        std::wstring localFile; // made by the row's own step when it needs one
        std::wstring remote;
        std::wstring failure;
        Commands commands; // after the login
    };
    const std::wstring file = local.Write(L"x.cab", "abc");
    // A sparse file of 2 GiB: its size seen by seeking is negative as a 32-bit value.
    const std::wstring big = local / L"big.cab";
    {
        HANDLE h = CreateFileW(big.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        LARGE_INTEGER at{};
        at.QuadPart = std::int64_t{1} << 31;
        EXPECT_TRUE(SetFilePointerEx(h, at, nullptr, FILE_BEGIN));
        EXPECT_TRUE(SetEndOfFile(h));
        CloseHandle(h);
    }
    const Case cases[] = {
        // A local file that cannot be opened: the folder is made first, then the range error.
        {"missing local file",
         FtpScript(),
         local / L"missing.exe",
         L"//U/x.cab",
         range,
         {"CWD //U/", "MKD //U/", "QUIT"}},
        // A remote path without "/": CWD and MKD with an empty folder; a refused MKD ends it.
        {"path without a folder, MKD refused",
         FtpScript().Reply("CWD", 550, "No folder.").Reply("MKD", 550, "Cannot create."),
         file,
         L"x.cab",
         L"Cannot create.\r\n",
         {"CWD", "MKD", "QUIT"}},
        // A CWD answered 421 closes the connection: its reason reaches the caller, no MKD.
        {"421 to CWD",
         FtpScript().Reply("CWD", 421, "Service closing."),
         file,
         L"//U/x.cab",
         L"Service closing.\r\n",
         {"CWD //U/"}},
        {"local file of 2 GiB",
         FtpScript(),
         big,
         L"//U/big.cab",
         range,
         {"CWD //U/", "MKD //U/", "QUIT"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto server = FtpTestServer::Scripted(c.script, kUser, kPassword);
        Use(server);
        EXPECT_EQ(FailureOf([&] { window.PlikToFtp(c.localFile, c.remote, false); }), c.failure);
        EXPECT_EQ(AfterLogin(server.Transcript()), c.commands);
        EXPECT_FALSE(window.Visible());
        EXPECT_FALSE(window.IdFTP1.Connected());
    }
    EXPECT_TRUE(hl::Boxes().empty());
}

TEST_F(TransferWindow, AWrongPasswordReachesTheCallerWithTheWindowHidden) {
    auto server = FtpTestServer::Scripted(FtpScript().Reply("PASS", 530, "Login incorrect."), kUser,
                                          kPassword);
    Use(server);
    EXPECT_EQ(FailureOf([&] { window.PlikFromFtp(L"//a", local / L"a", false); }),
              L"Login incorrect.\r\n");
    EXPECT_FALSE(window.Visible());
    EXPECT_FALSE(window.IdFTP1.Connected());
    EXPECT_EQ(Verbs(server.Transcript()), (Commands{"HOST", "USER", "PASS", "QUIT"}));
}

TEST_F(TransferWindow, AStalledServerEndsAfterTheReadTimeOut) {
    auto server = FtpTestServer::Scripted(FtpScript().Stall("SIZE"), kUser, kPassword);
    WriteFileAt(server.Root() + L"a.bin", "abc");
    Use(server);
    window.IdFTP1.ReadTimeout = 1500;
    const std::wstring failure =
        FailureOf([&] { window.PlikFromFtp(L"//a.bin", local / L"a.bin", false); });
    EXPECT_NE(failure, L"<none>");
    EXPECT_NE(failure, L"<abort>");
    EXPECT_FALSE(window.Visible());
    EXPECT_FALSE(window.IdFTP1.Connected());
    EXPECT_FALSE(FileExists(local / L"a.bin"));
}

// No wait of an operation outlasts its limit: each server below stops the operation in the
// middle, and it fails within its limit plus a margin that holds on a loaded machine. The
// client closes the data and control connections without waiting for a final reply (the
// server sees no QUIT and no session left open), no file is left that could pass as the
// fetched one, and the window is hidden.
TEST_F(TransferWindow, EveryWaitEndsWithinItsLimit) {
    enum class Op { Fetch, Store, List };
    constexpr int kData = 1000;  // TransferTimeout: each receive or send of a data connection
    constexpr int kReply = 1500; // ReadTimeout: each reply as a whole
    struct Case {
        const char* name;
        FtpScript script;
        Op op;
        std::wstring failure;
        int limit;      // the limit that must end it (the least time it takes); 0: none
        Commands verbs; // after the login; no QUIT
        bool active = false;
    };
    const std::wstring fetch = L"//p/a.bin";
    const std::wstring tooMuch = L"Plik " + fetch +
                                 L" nie został pobrany: serwer przysłał co najmniej 5001 bajtów, "
                                 L"a podał 5000.";
    const std::wstring timedOut = L"Read timed out.";
    const Commands fetchVerbs = {"SIZE", "SIZE", "PASV", "RETR"};
    std::vector<Case> cases;
    cases.push_back({"fetch: data connection opened, then silence",
                     FtpScript().Reply("RETR", 150, "Opening; nothing will follow."), Op::Fetch,
                     timedOut, kData, fetchVerbs});
    cases.push_back({"fetch in active mode: data connection opened, then silence",
                     FtpScript().Reply("RETR", 150, "Opening; nothing will follow."), Op::Fetch,
                     timedOut, kData, Commands{"SIZE", "SIZE", "PORT", "RETR"}, true});
    cases.push_back({"fetch: data that stops half-way without a close",
                     FtpScript().HoldData("RETR", 40000), Op::Fetch, timedOut, kData, fetchVerbs});
    cases.push_back({"fetch: 150/226 with more bytes than SIZE announced",
                     FtpScript().Reply("SIZE", 213, "5000"), Op::Fetch, tooMuch, 0, fetchVerbs});
    cases.push_back({"fetch: data without end beyond SIZE",
                     FtpScript().Reply("SIZE", 213, "5000").FloodData("RETR", "0123456789"),
                     Op::Fetch, tooMuch, 0, fetchVerbs});
    cases.push_back({"listing (MLSD): data connection opened, then silence",
                     FtpScript().Feat({"MLSD"}).Reply("MLSD", 150, "Opening; nothing follows."),
                     Op::List, timedOut, kData, Commands{"CWD", "PASV", "MLSD"}});
    cases.push_back({"listing (LIST): data without end",
                     FtpScript().Feat({}).FloodData(
                         "LIST", "-rw-r--r--   1 owner group  3 Jan 01 12:00 firmy.txt\r\n"),
                     Op::List,
                     L"The folder listing is longer than 67108864 bytes; the transfer was "
                     L"stopped.",
                     0, Commands{"CWD", "TYPE", "PASV", "LIST"}});
    cases.push_back({"store: the server never reads the data connection",
                     FtpScript().NoRead("STOR"), Op::Store, L"Write timed out.", kData,
                     Commands{"CWD", "PASV", "STOR"}});
    cases.push_back({"SIZE: a multi-line reply without end",
                     FtpScript().Endless("SIZE", {"213-Size follows:"}, " still counting", 0),
                     Op::Fetch, L"Invalid reply from the FTP server: longer than 1048576 bytes.", 0,
                     Commands{"SIZE"}});
    cases.push_back({"SIZE: a multi-line reply that grows a line every 100 ms",
                     FtpScript().Endless("SIZE", {"213-Size follows:"}, " still counting", 100),
                     Op::Fetch, timedOut, kReply, Commands{"SIZE"}});
    cases.push_back({"SIZE: blank lines without end, one every 100 ms",
                     FtpScript().Endless("SIZE", {}, "", 100), Op::Fetch, timedOut, kReply,
                     Commands{"SIZE"}});
    cases.push_back({"SIZE: the reply trickled one byte every 200 ms, past the limit",
                     FtpScript().Trickle("SIZE", {"213 100000"}, 200), Op::Fetch, timedOut, kReply,
                     Commands{"SIZE"}});

    const std::string remote = PatternBytes(100000, 5);
    const std::wstring big = local.Write(L"big.cab", PatternBytes(16u << 20, 9));
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        hl::Reset();
        auto server = FtpTestServer::Scripted(c.script, kUser, kPassword);
        WriteFileAt(server.Root() + L"p\\a.bin", remote);
        Use(server);
        window.IdFTP1.ReadTimeout = kReply;
        window.IdFTP1.TransferTimeout = kData;
        window.IdFTP1.Passive = !c.active;
        const std::wstring target = local / L"a.bin";
        std::vector<std::wstring> names{L"before"};
        const auto start = std::chrono::steady_clock::now();
        const std::wstring failure = FailureOf([&] {
            switch (c.op) {
            case Op::Fetch:
                window.PlikFromFtp(fetch, target, false);
                break;
            case Op::Store:
                window.PlikToFtp(big, L"//p/big.cab", false);
                break;
            case Op::List:
                window.ListFromFtp(L"//p/", names);
                break;
            }
        });
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - start)
                              .count();
        window.IdFTP1.Passive = true;
        EXPECT_EQ(failure, c.failure);
        EXPECT_GE(took, c.limit);
        EXPECT_LT(took, c.limit + 3000);
        EXPECT_EQ(Verbs(AfterLogin(server.Transcript())), c.verbs);
        EXPECT_EQ(server.OpenSessions(), 0); // the client closed its side
        EXPECT_FALSE(FileExists(target));
        EXPECT_EQ(names, std::vector<std::wstring>{L"before"});
        EXPECT_FALSE(FileExists(server.Root() + L"p\\big.cab"));
        EXPECT_FALSE(window.Visible());
        EXPECT_FALSE(window.IdFTP1.Connected());
        EXPECT_TRUE(hl::TakeBoxes().empty());
    }
}

TEST_F(TransferWindow, ListingAppendsNamesWithMlsdAndWithList) {
    // MLSD: the entries of the folder itself and of its parent are names too.
    auto mlsd = FtpTestServer::Scripted(FtpScript()
                                            .Feat({"MLSD", "UTF8"})
                                            .Data("MLSD", "type=cdir; .\r\ntype=pdir; ..\r\n"
                                                          "type=file;size=3; a.cab\r\n"),
                                        kUser, kPassword);
    WriteFileAt(mlsd.Root() + L"Upgrade\\keep", "");
    Use(mlsd);
    std::vector<std::wstring> names{L"before"};
    window.ListFromFtp(L"//Upgrade/", names);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"before", L".", L"..", L"a.cab"}));
    EXPECT_EQ(Verbs(AfterLogin(mlsd.Transcript())), (Commands{"CWD", "PASV", "MLSD", "QUIT"}));

    // LIST of an empty folder: nothing added, no failure; TYPE A and back around it.
    auto list =
        FtpTestServer::Scripted(FtpScript().Feat({"UTF8"}).Data("LIST", ""), kUser, kPassword);
    WriteFileAt(list.Root() + L"Upgrade\\keep", "");
    Use(list);
    window.ListFromFtp(L"//Upgrade/", names);
    EXPECT_EQ(names.size(), 4u);
    EXPECT_EQ(Verbs(AfterLogin(list.Transcript())),
              (Commands{"CWD", "TYPE", "PASV", "LIST", "TYPE", "QUIT"}));
    EXPECT_FALSE(window.Visible());

    // A refused CWD passes on: the list is left as it was, nothing is made, nothing listed.
    auto refused = FtpTestServer::Scripted(FtpScript(), kUser, kPassword);
    Use(refused);
    const std::vector<std::wstring> before = names;
    EXPECT_NE(FailureOf([&] { window.ListFromFtp(L"//none/", names); }), L"<none>");
    EXPECT_EQ(names, before);
    EXPECT_EQ(AfterLogin(refused.Transcript()), (Commands{"CWD //none/", "QUIT"}));
    EXPECT_FALSE(window.IdFTP1.Connected());
}

} // namespace
