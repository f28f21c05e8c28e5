// The client against real servers: the tests' own (pyftpdlib) and ProFTPD, so that it is
// not tuned to one server. Whole files both ways, progress counts, listings with UTF-8
// names, a store over an existing file, resumed transfers, folder commands, refusals.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <set>

#include "FtpTestServer.h"
#include "TestFolder.h"
#include "ftp/FtpClient.h"
#include "util/Utf8.h"

namespace {

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    FILE* f = _wfopen(path.c_str(), L"wb");
    ASSERT_NE(f, nullptr);
    if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

// What the progress events reported during one transfer.
struct Progress {
    int begins = 0;
    WorkMode mode = wmRead;
    std::int64_t announced = -2;
    std::int64_t last = 0;
    std::int64_t largestStep = 0;
    bool monotonic = true;

    void Attach(FtpClient& c) {
        c.OnWorkBegin = [this](FtpClient&, WorkMode m, std::int64_t max) {
            ++begins;
            mode = m;
            announced = max;
            last = 0;
        };
        c.OnWork = [this](FtpClient&, WorkMode m, std::int64_t count) {
            EXPECT_EQ(m, mode);
            if (count < last) monotonic = false;
            largestStep = std::max(largestStep, count - last);
            last = count;
        };
    }
};

// What differs between the servers: how they are started, how the transcript shows the
// password, and their own text for a refused login.
struct ServerKind {
    const char* name;
    FtpTestServer (*start)();
    const char* passLine;
    const wchar_t* loginRefusal;
};

const ServerKind kServers[] = {
    {"pyftpdlib", [] { return FtpTestServer::Real(); }, "PASS tajne",
     L"Authentication failed.\r\n"},
    {"proftpd", [] { return FtpTestServer::Proftpd(); }, "PASS (hidden)", L"Login incorrect.\r\n"},
};

class FtpRealServer : public testing::TestWithParam<ServerKind> {
protected:
    void SetUp() override {
        if (std::string(GetParam().name) == "proftpd") {
            std::string why = FtpTestServer::ProftpdUnavailable();
            if (!why.empty()) GTEST_SKIP() << why;
        }
        server_ = std::make_unique<FtpTestServer>(GetParam().start());
        client_.Host = server_->Host();
        client_.Port = server_->Port();
        client_.Username = server_->User();
        client_.Password = server_->Password();
        client_.Passive = true;
        client_.TransferType = ftBinary;
        client_.ReadTimeout = 30000;
    }
    void TearDown() override { client_.Disconnect(); }

    std::unique_ptr<FtpTestServer> server_;
    FtpClient client_;
    TestFolder local_;
};

TEST_P(FtpRealServer, FetchesAndStoresWholeFilesWithTheirCounts) {
    const std::size_t sizes[] = {0, 1, 32768, 32769, 64u << 20};
    client_.Connect();
    for (std::size_t size : sizes) {
        SCOPED_TRACE(size);
        std::string bytes = PatternBytes(size, static_cast<std::uint32_t>(size) + 7);
        std::wstring name = L"f" + std::to_wstring(size) + L".bin";
        WriteBytes(server_->Root() + name, bytes);

        Progress get;
        get.Attach(client_);
        EXPECT_EQ(client_.Size(name), static_cast<std::int64_t>(size));
        client_.Get(name, local_ / name);
        EXPECT_TRUE(ReadFileBytes(local_ / name) == bytes);
        EXPECT_EQ(get.begins, 1);
        EXPECT_EQ(get.mode, wmRead);
        EXPECT_EQ(get.announced, 0);
        EXPECT_EQ(get.last, static_cast<std::int64_t>(size));
        EXPECT_LE(get.largestStep, 32768);
        EXPECT_TRUE(get.monotonic);

        Progress put;
        put.Attach(client_);
        std::wstring back = L"back_" + name;
        client_.Put(local_ / name, back);
        EXPECT_TRUE(ReadFileBytes(server_->Root() + back) == bytes);
        EXPECT_EQ(put.begins, 1);
        EXPECT_EQ(put.mode, wmWrite);
        EXPECT_EQ(put.announced, static_cast<std::int64_t>(size));
        EXPECT_EQ(put.last, static_cast<std::int64_t>(size));
        EXPECT_LE(put.largestStep, 32768);
    }
}

TEST_P(FtpRealServer, TheTransferWindowsFetchAsTheServerSeesIt) {
    WriteBytes(server_->Root() + L"firmy.txt", "Dunvel\r\nTavrin\r\n");
    client_.Connect();
    EXPECT_TRUE(client_.UsesUtf8());
    EXPECT_TRUE(client_.CanUseMLS());
    EXPECT_EQ(client_.Size(L"firmy.txt"), 16);
    client_.Get(L"firmy.txt", local_ / L"firmy.txt");
    client_.Disconnect();
    EXPECT_EQ(ReadFileBytes(local_ / L"firmy.txt"), "Dunvel\r\nTavrin\r\n");
    std::vector<std::string> want = {"HOST 127.0.0.1",
                                     "USER korekta",
                                     GetParam().passLine,
                                     "FEAT",
                                     "CLNT korekta 1.0",
                                     "OPTS UTF8 ON",
                                     "TYPE I",
                                     "SYST",
                                     "TYPE I",
                                     "SIZE firmy.txt",
                                     "PASV",
                                     "RETR firmy.txt",
                                     "QUIT"};
    // CLNT goes only to a server that lists it among its features; pyftpdlib does not.
    if (std::string(GetParam().name) == "pyftpdlib")
        want.erase(std::find(want.begin(), want.end(), "CLNT korekta 1.0"));
    EXPECT_EQ(server_->Transcript(), want);
}

TEST_P(FtpRealServer, ListsUtf8NamesAndStoresOverAnExistingFile) {
    CreateDirectoryW((server_->Root() + L"\u0141\u00F3d\u017A").c_str(), nullptr);
    WriteBytes(server_->Root() + L"za\u017C\u00F3\u0142\u0107 g\u0119\u015Bl\u0105.txt", "x");
    WriteBytes(server_->Root() + L"plain.txt", "old contents");
    client_.Connect();

    WriteBytes(local_ / L"plain.txt", "new");
    client_.Put(local_ / L"plain.txt", L"plain.txt");
    EXPECT_EQ(ReadFileBytes(server_->Root() + L"plain.txt"), "new");

    client_.Put(local_ / L"plain.txt", L"\u0142\u00F3d\u017A.txt");
    EXPECT_EQ(ReadFileBytes(server_->Root() + L"\u0142\u00F3d\u017A.txt"), "new");

    Progress list;
    list.Attach(client_);
    client_.List();
    EXPECT_TRUE(client_.ListingIsMlsd());
    std::set<std::wstring> names;
    for (const auto& item : client_.DirectoryListing()) {
        names.insert(item.FileName);
        if (item.FileName == L"\u0141\u00F3d\u017A") {
            EXPECT_EQ(item.ItemType, FtpItemType::Directory);
        }
        if (item.FileName == L"plain.txt") {
            EXPECT_EQ(item.Size, 3);
        }
    }
    std::set<std::wstring> want = {L"\u0141\u00F3d\u017A",
                                   L"za\u017C\u00F3\u0142\u0107 g\u0119\u015Bl\u0105.txt",
                                   L"plain.txt", L"\u0142\u00F3d\u017A.txt"};
    for (const auto& n : want)
        EXPECT_EQ(names.count(n), 1u) << testing::PrintToString(n);
    EXPECT_EQ(list.begins, 1);
    EXPECT_EQ(list.mode, wmRead);
    EXPECT_GT(list.last, 0);
}

TEST_P(FtpRealServer, ResumesAFetchAndStoresFromAPosition) {
    std::string bytes = PatternBytes(100000, 3);
    WriteBytes(server_->Root() + L"r.bin", bytes);
    WriteBytes(local_ / L"r.bin", bytes.substr(0, 40000));
    client_.Connect();
    client_.Get(L"r.bin", local_ / L"r.bin", false, true);
    EXPECT_TRUE(ReadFileBytes(local_ / L"r.bin") == bytes);

    WriteBytes(server_->Root() + L"w.bin", bytes.substr(0, 60000));
    client_.Put(local_ / L"r.bin", L"w.bin", false, 60000);
    EXPECT_TRUE(ReadFileBytes(server_->Root() + L"w.bin") == bytes);
    client_.Disconnect();
    auto got = server_->Transcript();
    EXPECT_NE(std::find(got.begin(), got.end(), "REST 40000"), got.end());
    EXPECT_NE(std::find(got.begin(), got.end(), "REST 60000"), got.end());
}

TEST_P(FtpRealServer, ActiveModeFetchesStoresAndLists) {
    std::string bytes = PatternBytes(70000, 11);
    WriteBytes(server_->Root() + L"a.bin", bytes);
    client_.Passive = false;
    client_.Connect();
    client_.Get(L"a.bin", local_ / L"a.bin");
    EXPECT_TRUE(ReadFileBytes(local_ / L"a.bin") == bytes);
    client_.Put(local_ / L"a.bin", L"b.bin");
    EXPECT_TRUE(ReadFileBytes(server_->Root() + L"b.bin") == bytes);
    client_.List();
    std::set<std::wstring> names;
    for (const auto& item : client_.DirectoryListing())
        names.insert(item.FileName);
    EXPECT_EQ(names.count(L"a.bin") + names.count(L"b.bin"), 2u);
    client_.Disconnect();
    auto got = server_->Transcript();
    EXPECT_EQ(
        std::count_if(got.begin(), got.end(),
                      [](const std::string& l) { return l.rfind("PORT 127,0,0,1,", 0) == 0; }),
        3);
    EXPECT_EQ(std::find(got.begin(), got.end(), "PASV"), got.end());
}

TEST_P(FtpRealServer, FolderCommandsAndRefusals) {
    client_.Connect();
    client_.MakeDir(L"//Upgrade/");
    client_.ChangeDir(L"//Upgrade/");
    // The refusal's code and the server's own text, whatever that text says.
    auto refusal = [](auto&& command, int& code) {
        code = 0;
        std::wstring failure;
        try {
            command();
        } catch (const EFtpReplyError& e) {
            code = e.Code();
            failure = e.Message();
        }
        return failure;
    };
    int code = 0;
    std::wstring failure = refusal([&] { client_.MakeDir(L"//Upgrade/"); }, code);
    EXPECT_EQ(code, 550);
    EXPECT_TRUE(failure.size() > 2 && failure.ends_with(L"\r\n")) << ToUtf8(failure);
    EXPECT_TRUE(client_.Connected());
    EXPECT_EQ(client_.Size(L"missing.bin"), -1);

    // RETR refused: the local file, made before the command, stays empty and released; the
    // control connection stays open.
    const std::wstring target = local_ / L"missing.bin";
    failure = refusal([&] { client_.Get(L"missing.bin", target); }, code);
    EXPECT_EQ(code, 550);
    EXPECT_TRUE(failure.size() > 2 && failure.ends_with(L"\r\n")) << ToUtf8(failure);
    EXPECT_EQ(ReadFileBytes(target), "");
    EXPECT_TRUE(DeleteFileW(target.c_str())) << "the local file is still held";
    EXPECT_TRUE(client_.Connected());
    EXPECT_EQ(client_.Size(L"missing.bin"), -1); // the session goes on
}

TEST_P(FtpRealServer, WrongPasswordCarriesTheRefusalText) {
    client_.Password = L"zle";
    std::wstring failure;
    try {
        client_.Connect();
    } catch (const EFtpReplyError& e) {
        failure = e.Message();
        EXPECT_EQ(e.Code(), 530);
    }
    EXPECT_EQ(failure, GetParam().loginRefusal);
    EXPECT_FALSE(client_.Connected());
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpRealServer, testing::ValuesIn(kServers),
                         [](const testing::TestParamInfo<ServerKind>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
