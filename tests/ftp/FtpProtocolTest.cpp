// The platform-free FTP pieces on their own: reply assembly, PASV address rule, SIZE
// reply, control encoding, MLSD lines.

#include <gtest/gtest.h>

#include "ftp/FtpProtocol.h"

namespace {

struct ReplyCase {
    const char* name;
    std::vector<std::wstring> lines;
    int code;
    std::vector<std::wstring> text;
    std::size_t linesUsed; // lines fed before the reply was complete
};

TEST(FtpReplyAssembler, BuildsRepliesByTheMultiLineRule) {
    const ReplyCase cases[] = {
        {"single line", {L"220 Ready."}, 220, {L"Ready."}, 1},
        {"code alone", {L"226"}, 226, {L""}, 1},
        {"CR and blanks trimmed", {L"  230 Welcome.  \r"}, 230, {L"Welcome."}, 1},
        {"empty lines skipped", {L"", L"\r", L"200 OK"}, 200, {L"OK"}, 3},
        {"multi-line with foreign lines",
         {L"211-Features:", L" MLSD", L"  UTF8", L"211 End"},
         211,
         {L"Features:", L"MLSD", L"UTF8", L"End"},
         4},
        {"own code with dash goes on",
         {L"230-Hello", L"230-More", L"230 Done"},
         230,
         {L"Hello", L"More", L"Done"},
         3},
        {"other code inside",
         {L"220-Hi", L"150 not the end", L"220"},
         220,
         {L"Hi", L"150 not the end", L""},
         3},
        {"own code without separator is text",
         {L"211-a", L"2110 b", L"211 c"},
         211,
         {L"a", L"2110 b", L"c"},
         3},
    };
    for (const auto& c : cases) {
        FtpReplyAssembler a;
        std::size_t used = 0;
        FtpReplyAssembler::Result r = FtpReplyAssembler::Result::NeedMore;
        while (used < c.lines.size() && r != FtpReplyAssembler::Result::Complete)
            r = a.Add(c.lines[used++]);
        ASSERT_EQ(r, FtpReplyAssembler::Result::Complete) << c.name;
        EXPECT_EQ(used, c.linesUsed) << c.name;
        FtpReply reply = a.Take();
        EXPECT_EQ(reply.Code, c.code) << c.name;
        EXPECT_EQ(reply.Text, c.text) << c.name;
    }
}

TEST(FtpReplyAssembler, RefusesALineWithoutCodeAndFormatsText) {
    FtpReplyAssembler a;
    EXPECT_EQ(a.Add(L"hello"), FtpReplyAssembler::Result::Invalid);
    EXPECT_EQ(a.Add(L"530-Login"), FtpReplyAssembler::Result::NeedMore);
    EXPECT_EQ(a.Add(L"530 incorrect."), FtpReplyAssembler::Result::Complete);
    EXPECT_EQ(a.Take().FormattedText(), L"Login\r\nincorrect.\r\n");
}

TEST(FtpPasv, ParsesTheAddressAndPort) {
    struct Case {
        const wchar_t* line;
        const char* host; // nullptr: no address
        int port;
    } cases[] = {
        {L"Entering Passive Mode (127,0,0,1,4,1).", "127.0.0.1", 1025},
        {L"Entering Passive Mode 10,1,2,3,0,21", "10.1.2.3", 21},
        {L"=(192,168,1,5,255,255", "192.168.1.5", 65535},
        {L"ok (1,2,3,4,1,300)", "1.2.3.4", 256 + 44},
        {L"ok ( 1, 2, 3, 4, 0, 80 )", "1.2.3.4", 80},
        {L"ok (1,2,3,4,5)", nullptr, 0},
        {L"ok (1,2,3,256,0,80)", nullptr, 0},
        {L"ok (1,2,3,4,256,0)", nullptr, 0},
        {L"ok (a,2,3,4,0,80)", nullptr, 0},
        {L"", nullptr, 0},
    };
    for (const auto& c : cases) {
        auto hp = ParsePasvReply(c.line);
        if (!c.host) {
            EXPECT_FALSE(hp.has_value()) << testing::PrintToString(std::wstring(c.line));
            continue;
        }
        ASSERT_TRUE(hp.has_value()) << testing::PrintToString(std::wstring(c.line));
        EXPECT_EQ(hp->Host, c.host);
        EXPECT_EQ(hp->Port, c.port);
    }
}

// The rule is tested on the choosing function alone: no test connects to these addresses.
TEST(FtpPasv, ChoosesThePeerForAPrivateAddressBehindAPublicOne) {
    struct Case {
        const char* reply;
        const char* peer;
        const char* chosen;
    } cases[] = {
        {"192.168.1.5", "203.0.113.7", "203.0.113.7"},
        {"10.0.0.8", "198.51.100.2", "198.51.100.2"},
        {"172.16.0.1", "198.51.100.2", "198.51.100.2"},
        {"172.31.255.1", "198.51.100.2", "198.51.100.2"},
        {"169.254.3.4", "198.51.100.2", "198.51.100.2"},
        {"127.0.0.2", "198.51.100.2", "198.51.100.2"},
        {"172.15.0.1", "198.51.100.2", "172.15.0.1"},
        {"172.32.0.1", "198.51.100.2", "172.32.0.1"},
        {"203.0.113.9", "198.51.100.2", "203.0.113.9"},
        {"192.168.1.5", "10.0.0.1", "192.168.1.5"},
        {"127.0.0.2", "127.0.0.1", "127.0.0.2"},
        {"198.51.100.3", "127.0.0.1", "198.51.100.3"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChooseDataHost(c.reply, c.peer), c.chosen) << c.reply << " via " << c.peer;
}

TEST(FtpSizeReply, ReadsTheNumberAfterTheFirstBlank) {
    struct Case {
        int code;
        std::vector<std::wstring> text;
        std::int64_t size;
    } cases[] = {
        {213, {L"1234"}, 1234},
        {213, {L"0"}, 0},
        {213, {L"  77  "}, 77},
        {213, {L"file.txt 99"}, 99},
        {213, {L"8589934592"}, 8589934592LL},
        {213, {L"-5"}, -5},
        {213, {L"abc"}, -1},
        {213, {L"12a"}, -1},
        {213, {L""}, -1},
        {213, {L"99999999999999999999"}, -1},
        {550, {L"1234"}, -1},
    };
    for (const auto& c : cases) {
        FtpReply r{c.code, c.text};
        EXPECT_EQ(ParseSizeReply(r), c.size) << testing::PrintToString(c.text);
    }
}

TEST(FtpControlEncoding, EightBitKeepsLatin1AndMarksTheRest) {
    EXPECT_EQ(EncodeControl(L"RETR \u00F3.txt", FtpControlEncoding::EightBit), "RETR \xF3.txt");
    EXPECT_EQ(EncodeControl(L"\u0142\U0001F600", FtpControlEncoding::EightBit), "??");
    EXPECT_EQ(EncodeControl(L"\u00F3\u0142", FtpControlEncoding::Utf8), "\xC3\xB3\xC5\x82");
    EXPECT_EQ(DecodeControl("\xF3", FtpControlEncoding::EightBit), L"\u00F3");
    EXPECT_EQ(DecodeControl("\xC5\x82", FtpControlEncoding::Utf8), L"\u0142");
    // Bytes that are no UTF-8 read as the codec's substitute, the rest as it stands.
    EXPECT_EQ(DecodeControl("a\xC5", FtpControlEncoding::Utf8), L"a\uFFFD");
    EXPECT_EQ(DecodeControl("\xF0\x9F\x98\x80", FtpControlEncoding::Utf8), L"\U0001F600");
}

TEST(FtpArguments, LineBreaksAreFoundAndShown) {
    EXPECT_FALSE(HasLineBreak(L"//Upgrade/Tavrin/firmy.txt"));
    EXPECT_TRUE(HasLineBreak(L"a\rb"));
    EXPECT_TRUE(HasLineBreak(L"a\nb"));
    EXPECT_EQ(ShowLineBreaks(L"x\r\nDELE y"), L"x<CR><LF>DELE y");
}

TEST(FtpCapabilities, MatchTheFirstWordWithoutCase) {
    std::vector<std::wstring> caps = {L"MLST type*;size*;", L" utf8", L"SITE PSWD;ZONE;CHMOD",
                                      L"CLNTX"};
    EXPECT_TRUE(FtpSupports(caps, L"MLST"));
    EXPECT_FALSE(FtpSupports(caps, L"MLSD"));
    EXPECT_TRUE(FtpSupports(caps, L"UTF8"));
    EXPECT_FALSE(FtpSupports(caps, L"CLNT"));
    EXPECT_TRUE(FtpSiteSupports(caps, L"zone"));
    EXPECT_FALSE(FtpSiteSupports(caps, L"EXEC"));
}

TEST(FtpMlsd, ParsesFactsTypesAndNames) {
    auto lines = SplitListingLines("type=cdir;modify=20240101120000; .\r\n"
                                   "type=pdir; ..\r\n\r\n"
                                   "Type=File;Size=1234;Perm=r; a b.txt\n"
                                   "type=dir;unique=9; za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87\n"
                                   "type=file; bad\xF3\n"
                                   "type=file;charset=ISO-8859-1; caf\xE9\n"
                                   "type=OS.unix=slink:/x; link\n"
                                   "type=file;UNIX.type=fifo; pipe\n"
                                   "size=5;type=file;");
    ASSERT_EQ(lines.size(), 9u);
    std::vector<FtpListItem> items;
    for (const auto& l : lines)
        items.push_back(ParseMlsdLine(l));
    EXPECT_EQ(items[0].FileName, L".");
    EXPECT_EQ(items[0].ItemType, FtpItemType::Directory);
    EXPECT_EQ(items[0].Modified, L"20240101120000");
    EXPECT_EQ(items[1].FileName, L"..");
    EXPECT_EQ(items[1].ItemType, FtpItemType::Directory);
    EXPECT_EQ(items[2].FileName, L"a b.txt");
    EXPECT_EQ(items[2].ItemType, FtpItemType::File);
    EXPECT_EQ(items[2].Size, 1234);
    EXPECT_EQ(items[2].Permissions, L"r");
    EXPECT_EQ(items[3].FileName, L"za\u017C\u00F3\u0142\u0107");
    EXPECT_EQ(items[3].ItemType, FtpItemType::Directory);
    EXPECT_EQ(items[3].UniqueId, L"9");
    EXPECT_EQ(items[4].FileName, L"bad\u00F3"); // no UTF-8: byte for byte
    EXPECT_EQ(items[5].FileName, L"caf\u00E9");
    EXPECT_EQ(items[6].ItemType, FtpItemType::Link);
    EXPECT_EQ(items[7].ItemType, FtpItemType::Pipe);
    EXPECT_EQ(items[8].FileName, L"");
    EXPECT_EQ(items[8].Size, 5);
}

} // namespace
