// The packing window over the real engine and Cabinet.dll, with the headless toolkit: its
// labels, gauge, message boxes and results.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "TestFolder.h"
#include "gui/Application.h"
#include "gui/Headless.h"
#include "pack/Unv_MZip.h"

namespace {

using gui::headless::TakeBoxes;

std::vector<std::wstring> BoxTexts() {
    std::vector<std::wstring> texts;
    for (const auto& box : TakeBoxes()) {
        EXPECT_EQ(box.kind, gui::MsgKind::Plain);
        texts.push_back(box.text);
    }
    return texts;
}

class PackingWindow : public testing::Test {
protected:
    void SetUp() override { gui::headless::ClearBoxes(); }
    TUnvFMZip window;
    TestFolder dir;
};

TEST(PercentOf, RoundsHalvesToEvenAndStaysWithinTheRange) {
    struct Case {
        std::int64_t min, max, position;
        int percent;
    } cases[] = {{0, 8, 1, 12},
                 {0, 8, 3, 38},
                 {0, 1000, 250, 25},
                 {0, 200, 1, 0},
                 {0, 200, 3, 2},
                 {0, 100, 150, 100},
                 {0, 100, -5, 0},
                 {10, 20, 15, 50},
                 {5, 5, 5, 100},
                 {5, 5, 9, 100},
                 {5, 5, 4, 0},
                 {0, 0, 0, 100},
                 {0, 1LL << 40, 1LL << 39, 50}};
    for (const Case& c : cases)
        EXPECT_EQ(TUnvFMZip::PercentOf(c.min, c.max, c.position), c.percent)
            << c.min << " " << c.max << " " << c.position;
}

TEST_F(PackingWindow, CabinetNameGetsCabOnlyWhenItsFileNameHasNoExtension) {
    const auto src = dir.Write(L"Prog.exe", "program");
    struct Case {
        std::wstring given, written;
    } cases[] = {
        {L"Prog", L"Prog.cab"}, {L"Prog.dat", L"Prog.dat"}, {L"x.1\\Prog", L"x.1\\Prog.cab"}};
    for (const Case& c : cases) {
        std::vector<std::wstring> files{src};
        CreateDirectoryW((dir / L"x.1").c_str(), nullptr);
        window.CCompres(files, dir / c.given);
        EXPECT_EQ(window.PlkCCmp, dir / c.written);
        EXPECT_TRUE(FileExists(dir / c.written)) << c.written;
        EXPECT_TRUE(window.Fst);
    }
}

TEST_F(PackingWindow, PackingShowsTheFileLineAndTheSpaceSaved) {
    // Find data of 1000 bytes that the library packs into exactly 250.
    std::string data;
    const auto src = dir / L"one.bin";
    for (std::size_t noise = 150; noise < 300 && data.empty(); ++noise) {
        std::string candidate = PatternBytes(noise, 3) + std::string(1000 - noise, 'k');
        dir.Write(L"one.bin", candidate);
        TCabCompressor probe;
        probe.FileName = dir / L"probe.cab";
        probe.AddFile(ToAnsi(src), "");
        ASSERT_TRUE(probe.Compress());
        if (probe.CompressedFileSize() == 250) data = candidate;
    }
    ASSERT_FALSE(data.empty()) << "no 1000-byte input packs into 250 bytes";
    dir.Write(L"one.bin", data);

    bool shownWhilePacking = false;
    auto start = window.CCompr.OnStart;
    window.CCompr.OnStart = [&](TCabComponent& s) {
        shownWhilePacking = window.Visible();
        start(s);
    };
    std::vector<std::wstring> files{src};
    EXPECT_TRUE(window.CCompres(files, dir / L"out"));
    EXPECT_TRUE(shownWhilePacking);
    EXPECT_FALSE(window.Visible());
    EXPECT_EQ(window.L_CCmp.Text(), L"Wsp.: 75%");
    EXPECT_EQ(window.L_FNaz.Text(), L"0: " + src + L" 1000 250");
    EXPECT_EQ(window.PBarC.Maximum(), 1000);
    EXPECT_EQ(window.PBarC.Position(), 1000);
    EXPECT_EQ(window.Flast, 0);
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(PackingWindow, PackingLetsWaitingWorkRunWhileTheWindowIsShown) {
    const auto src = dir.Write(L"big.bin", PatternBytes(200000, 5));
    bool ranWhileShown = false;
    gui::Application::Instance().Post([&] { ranWhileShown = window.Visible(); });
    std::vector<std::wstring> files{src};
    window.CCompres(files, dir / L"big.cab");
    EXPECT_TRUE(ranWhileShown);
}

TEST_F(PackingWindow, PackingErrorsShowBledyAndNoBox) {
    const auto good = dir.Write(L"good.txt", "present");
    std::vector<std::wstring> files{dir / L"missing.txt", good};
    window.L_CCmp.SetText(L"kept");
    EXPECT_TRUE(window.CCompres(files, dir / L"out.cab"));
    EXPECT_EQ(window.L_CCmp.Text(), L"Błędy");
    EXPECT_EQ(window.PBarC.Maximum(), 7);
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(PackingWindow, UnpackingItsOwnCabinetGivesTheFirstStoredName) {
    const auto a = dir.Write(L"src\\Prog.exe", std::string(5000, 'p'));
    const auto b = dir.Write(L"src\\Prog.dll", std::string(300, 'd'));
    std::vector<std::wstring> files{a, b};
    window.CCompres(files, dir / L"Prog");

    bool shownWhileUnpacking = false;
    auto start = window.DCompr.OnStart;
    window.DCompr.OnStart = [&](TCabComponent& s) {
        shownWhileUnpacking = window.Visible();
        start(s);
    };
    std::wstring first = L"before";
    EXPECT_TRUE(window.DCompres(dir / L"Prog.cab", dir / L"Upd", first));
    EXPECT_TRUE(shownWhileUnpacking);
    EXPECT_EQ(first, L"Prog.exe");
    EXPECT_FALSE(window.Fst);
    EXPECT_FALSE(window.Visible());
    EXPECT_EQ(ReadFileBytes(dir / L"Upd\\Prog.exe"), std::string(5000, 'p'));
    EXPECT_EQ(window.L_CCmp.Text(), L"2 plików (5300 bajtów");
    EXPECT_EQ(window.L_FNaz.Text(), L"1: Prog.dll 300 5300");
    EXPECT_EQ(window.PBarC.Position(), 5300);
    // The destination folder did not exist: the box announced it, then it was created.
    EXPECT_EQ(BoxTexts(),
              (std::vector<std::wstring>{L"Katalog " + dir / L"Upd\\" + L" musi być utworzony "}));
}

TEST_F(PackingWindow, NamesTheCodePageLacksArePackedAndUnpackedUnderThemselves) {
    // The code page's best fit of the source name names another file, which must not be
    // packed in its place; the cabinet and the destination lie in folders the code page
    // cannot name either.
    const auto source = dir.Write(L"\u0416 src\\\u0141\u00F3d\u017A \uFF58.txt", "the real file");
    dir.Write(L"\u0416 src\\L\u00F3dz x.txt", "a look-alike decoy");
    std::vector<std::wstring> files{source};
    ASSERT_TRUE(CreateDirectoryW((dir / L"\u0416 cab").c_str(), nullptr));
    ASSERT_TRUE(window.CCompres(files, dir / L"\u0416 cab\\archiwum \u0416.cab"));
    EXPECT_EQ(window.CCompr.LastError(), 0);
    std::wstring first = L"before";
    EXPECT_TRUE(
        window.DCompres(dir / L"\u0416 cab\\archiwum \u0416.cab", dir / L"\u0416 upd", first));
    EXPECT_EQ(first, L"\u0141\u00F3d\u017A \uFF58.txt");
    EXPECT_EQ(ReadFileBytes(dir / L"\u0416 upd\\\u0141\u00F3d\u017A \uFF58.txt"), "the real file");
    EXPECT_EQ(window.DCompr.LastError(), 0);
    const auto boxes = BoxTexts();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].substr(0, 8), L"Katalog ") << "the new destination is announced";
}

TEST_F(PackingWindow, ExistingTargetIsAnnouncedAndLeftUntouched) {
    const auto a = dir.Write(L"Prog.exe", std::string(4000, 'n'));
    std::vector<std::wstring> files{a};
    window.CCompres(files, dir / L"Prog.cab");
    const auto old = dir.Write(L"Upd\\Prog.exe", "old build");

    std::wstring first;
    window.DCompres(dir / L"Prog.cab", dir / L"Upd", first);
    EXPECT_EQ(BoxTexts(), (std::vector<std::wstring>{old + L" już istnieje"}));
    EXPECT_EQ(ReadFileBytes(old), "old build");
    EXPECT_EQ(window.L_CCmp.Text(), L"1 plików (4000 bajtów");
    EXPECT_EQ(window.DCompr.LastError(), 0);
}

TEST_F(PackingWindow, StoredFolderThatDoesNotExistIsAnnouncedThenCreated) {
    const auto a = dir.Write(L"x.dll", "dll");
    TCabCompressor c;
    c.FileName = dir / L"sub.cab";
    c.AddFile(ToAnsi(a), "bin\\");
    ASSERT_TRUE(c.Compress());
    CreateDirectoryW((dir / L"Upd").c_str(), nullptr);

    std::wstring first;
    window.DCompres(dir / L"sub.cab", dir / L"Upd\\", first);
    EXPECT_EQ(first, L"bin\\x.dll");
    EXPECT_EQ(BoxTexts(), (std::vector<std::wstring>{L"Katalog " + dir / L"Upd\\bin" +
                                                     L" musi być utworzony "}));
    EXPECT_EQ(ReadFileBytes(dir / L"Upd\\bin\\x.dll"), "dll");
}

TEST_F(PackingWindow, FileThatIsNoCabinetFailsNamingItAndKeepsTheResult) {
    const auto a = dir.Write(L"Prog.exe", "program");
    std::vector<std::wstring> files{a};
    window.CCompres(files, dir / L"Prog.cab");
    std::wstring first = L"unchanged";
    ASSERT_TRUE(window.DCompres(dir / L"Prog.cab", dir / L"one", first));
    first = L"unchanged";
    const auto junk = dir.Write(L"junk.cab", "plain text, no cabinet");
    struct Case {
        std::wstring path, reason;
    } cases[] = {{junk, L": to nie jest archiwum CAB."},
                 {dir / L"absent.cab", L": plik nie istnieje."}};
    for (const Case& c : cases) {
        try {
            window.DCompres(c.path, dir / L"two", first);
            ADD_FAILURE() << "no failure";
        } catch (const Error& e) {
            EXPECT_EQ(e.Message(), L"Nie można rozpakować pliku " + c.path + c.reason);
        }
        EXPECT_EQ(first, L"unchanged");
        EXPECT_FALSE(window.Visible());
    }
    TakeBoxes();
}

TEST_F(PackingWindow, RecordedCodeZeroShowsNoBox) {
    window.DCompr.RecordError(0);
    EXPECT_TRUE(BoxTexts().empty());
    window.DCompr.RecordError(11);
    EXPECT_EQ(BoxTexts(), (std::vector<std::wstring>{L"Błąd: 11"}));
}

TEST_F(PackingWindow, EmptyCabinetFailsReadingItsFirstItem) {
    std::vector<std::wstring> none;
    window.CCompres(none, dir / L"empty.cab");
    std::wstring first = L"unchanged";
    EXPECT_THROW(window.DCompres(dir / L"empty.cab", dir / L"out", first), ERangeError);
    EXPECT_EQ(first, L"unchanged");
    EXPECT_EQ(window.L_CCmp.Text(), L"0 plików (0 bajtów");
}

} // namespace
