// The event guard: a failing handler ends only itself, its failure is shown by the default
// handler in one error box captioned with the application's title, and the loop goes on.

#include <gtest/gtest.h>

#include <stdexcept>

#include "gui/Gui.h"
#include "gui/Headless.h"
#include "util/Errors.h"

namespace {

using gui::headless::MessageBoxRecord;

struct GuardFixture : testing::Test {
    gui::Form form;
    gui::Button button;
    void SetUp() override {
        gui::headless::Reset();
        form.Create({.caption = L"guard"});
        button.Create(form, {.caption = L"Go", .bounds = {10, 10, 75, 25}});
    }
    void TearDown() override { gui::headless::Reset(); }
};

TEST(Application, TitleIsTheExecutableNameWithoutExtension) {
    EXPECT_EQ(gui::Application::Instance().Title(), L"gui_tests");
}

TEST_F(GuardFixture, EachKindOfFailureShowsItsText) {
    std::wstring title = gui::Application::Instance().Title();
    struct Case {
        std::function<void()> handler;
        std::wstring text; // empty: no box
    } cases[] = {
        {[] { throw Error(L"nie można otworzyć pliku"); }, L"nie można otworzyć pliku"},
        {[] { throw ERangeError(L"Value must be between 1 and 2147483647"); },
         L"Value must be between 1 and 2147483647"},
        {[] { throw std::runtime_error("zły stan"); }, L"zły stan"},
        {[] { throw 42; }, L"Wystąpił nieoczekiwany błąd programu."},
        {[] { throw EAbort(); }, L""},
    };
    for (const Case& c : cases) {
        button.OnClick = c.handler;
        button.Click();
        auto boxes = gui::headless::TakeBoxes();
        if (c.text.empty()) {
            EXPECT_TRUE(boxes.empty());
            continue;
        }
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].kind, gui::MsgKind::Error);
        EXPECT_EQ(boxes[0].caption, title);
        EXPECT_EQ(boxes[0].text, c.text);
    }
}

TEST_F(GuardFixture, AFailingHandlerEndsOnlyItselfAndTheLoopGoesOn) {
    int ranAfter = 0, clicks = 0;
    button.OnClick = [&] {
        ++clicks;
        if (clicks == 1) throw Error(L"pierwszy");
        ++ranAfter;
    };
    auto& app = gui::Application::Instance();
    app.Post([&] { button.Click(); });
    app.Post([] { throw Error(L"praca"); });
    app.Post([&] { button.Click(); });
    app.ProcessMessages();
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(ranAfter, 1);
    auto boxes = gui::headless::TakeBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, L"pierwszy");
    EXPECT_EQ(boxes[1].text, L"praca");
}

TEST_F(GuardFixture, TimerTicksOnlyWhileEnabledAndAFailingTickIsShown) {
    gui::Timer timer;
    timer.Create({.interval = 1000, .enabled = false});
    int ticks = 0;
    timer.OnTimer = [&] {
        ++ticks;
        throw Error(L"tick");
    };
    EXPECT_FALSE(timer.Fire());
    timer.SetEnabled(true);
    EXPECT_TRUE(timer.Fire());
    EXPECT_TRUE(timer.Fire());
    EXPECT_EQ(ticks, 2);
    EXPECT_EQ(gui::headless::TakeBoxes().size(), 2u);
}

TEST_F(GuardFixture, MessageBoxesCarryTheirKindsCaption) {
    std::wstring title = gui::Application::Instance().Title();
    gui::ShowMessageBox(gui::MsgKind::Warning, L"a");
    gui::ShowMessageBox(gui::MsgKind::Error, L"b");
    gui::ShowMessageBox(gui::MsgKind::Information, L"c");
    gui::ShowMessageBox(gui::MsgKind::Confirmation, L"d");
    gui::ShowMessageBox(gui::MsgKind::Plain, L"e");
    auto boxes = gui::headless::TakeBoxes();
    ASSERT_EQ(boxes.size(), 5u);
    EXPECT_EQ(boxes[0].caption, L"Ostrzeżenie");
    EXPECT_EQ(boxes[1].caption, title);
    EXPECT_EQ(boxes[2].caption, L"Informacja");
    EXPECT_EQ(boxes[3].caption, L"Potwierdzenie");
    EXPECT_EQ(boxes[4].caption, title);
    EXPECT_EQ(boxes[4].text, L"e");
}

TEST_F(GuardFixture, AFailingShowEventIsShownAndTheFormStillOpens) {
    form.OnShow = [] { throw Error(L"brak listy"); };
    form.Show();
    EXPECT_TRUE(form.Visible());
    auto boxes = gui::headless::TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, L"brak listy");
}

} // namespace
