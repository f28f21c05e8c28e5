// The components' own behaviour under the headless backend: modal shows, the main form,
// dialogs answered from a script, edits, the pick-only combo box, tab pages, alignment.

#include <gtest/gtest.h>

#include "gui/Gui.h"
#include "gui/Headless.h"
#include "util/Errors.h"

namespace {

namespace hl = gui::headless;

struct Components : testing::Test {
    void SetUp() override { hl::Reset(); }
    void TearDown() override { hl::Reset(); }
};

TEST_F(Components, ModalShowHandsTheFormToTheTestAndReturnsItsResult) {
    gui::Form dialog;
    dialog.Create({.caption = L"modal"});
    gui::Button ok;
    ok.Create(dialog, {.caption = L"OK", .bounds = {10, 10, 75, 25}});
    ok.OnClick = [&] { dialog.SetModalResult(gui::ModalResult::Ok); };
    int shows = 0, closes = 0;
    dialog.OnShow = [&] { ++shows; };
    dialog.OnClose = [&] { ++closes; };
    gui::Form* seen = nullptr;
    bool visibleInside = false, modalInside = false;
    hl::OnModalShow([&](gui::Form& f) {
        seen = &f;
        visibleInside = f.Visible();
        modalInside = f.IsModal();
        ok.Click();
    });
    EXPECT_EQ(dialog.ShowModal(), gui::ModalResult::Ok);
    EXPECT_EQ(seen, &dialog);
    EXPECT_TRUE(visibleInside);
    EXPECT_TRUE(modalInside);
    EXPECT_FALSE(dialog.Visible());
    EXPECT_FALSE(dialog.IsModal());
    EXPECT_EQ(shows, 1);
    EXPECT_EQ(closes, 0);

    // A handler that leaves the form open: the show ends as a close does.
    hl::OnModalShow([](gui::Form&) {});
    EXPECT_EQ(dialog.ShowModal(), gui::ModalResult::Cancel);
    EXPECT_EQ(shows, 2);
    EXPECT_EQ(closes, 1);
}

TEST_F(Components, ClosingTheMainFormEndsTheApplication) {
    auto& app = gui::Application::Instance();
    gui::Form main, other;
    main.Create({.caption = L"main"});
    other.Create({.caption = L"other"});
    int shown = 0;
    main.OnShow = [&] { ++shown; };
    app.SetMainForm(&main);
    app.Run();
    EXPECT_EQ(shown, 1);
    EXPECT_TRUE(main.Visible());
    EXPECT_FALSE(other.Visible());
    other.Show();
    other.Close();
    EXPECT_FALSE(app.Terminated());
    main.Close();
    EXPECT_TRUE(app.Terminated());
    EXPECT_FALSE(main.Visible());
    app.SetMainForm(nullptr);
}

TEST_F(Components, DialogsTakeTheScriptedAnswersInOrder) {
    gui::OpenFileDialog open;
    open.Create({.filter = L"Program|*.exe", .initialDir = L"C:\\x\\"});
    hl::AnswerOpenFile(L"C:\\x\\a.exe");
    hl::AnswerOpenFile(std::nullopt);
    EXPECT_TRUE(open.Execute());
    EXPECT_EQ(open.FileName(), L"C:\\x\\a.exe");
    EXPECT_FALSE(open.Execute());
    EXPECT_EQ(open.FileName(), L"C:\\x\\a.exe");
    EXPECT_FALSE(open.Execute()); // nothing scripted: cancelled
    auto runs = hl::TakeDialogs();
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].filter, L"Program|*.exe");
    EXPECT_EQ(runs[0].initialDir, L"C:\\x\\");

    gui::InputDialog input;
    input.caption = L"DANE Z FTP";
    input.prompt = L"Wpisz nazwę katalogu na FTP...";
    hl::AnswerInput(L"  //Upgrade/x ");
    hl::AnswerInput(L"");
    hl::AnswerInput(std::nullopt);
    EXPECT_TRUE(input.Execute());
    EXPECT_EQ(input.Value(), L"  //Upgrade/x "); // untrimmed
    EXPECT_TRUE(input.Execute());
    EXPECT_EQ(input.Value(), L"");
    EXPECT_FALSE(input.Execute());
    EXPECT_EQ(input.Value(), L"");
    runs = hl::TakeDialogs();
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].caption, L"DANE Z FTP");
    EXPECT_EQ(runs[0].prompt, L"Wpisz nazwę katalogu na FTP...");
}

TEST_F(Components, FileAndFolderEditsFillFromTheirDialogsAndKeepTheTextOnCancel) {
    gui::Form form;
    form.Create({.caption = L"edits"});
    gui::FileEdit file;
    file.Create(form, {.bounds = {90, 34, 323, 21}}, {.initialDir = L"C:\\prog\\"});
    gui::FolderEdit folder;
    folder.Create(form, {.bounds = {90, 64, 321, 21}, .text = L"C:\\old\\"});
    int fileClicks = 0;
    file.OnButtonClick = [&] { ++fileClicks; };

    hl::AnswerOpenFile(L"C:\\prog\\Dunvel.exe");
    file.ClickButton();
    EXPECT_EQ(file.Text(), L"C:\\prog\\Dunvel.exe");
    file.ClickButton(); // cancelled
    EXPECT_EQ(file.Text(), L"C:\\prog\\Dunvel.exe");
    EXPECT_EQ(fileClicks, 2);

    hl::AnswerFolder(std::nullopt);
    folder.ClickButton();
    EXPECT_EQ(folder.Text(), L"C:\\old\\");
    hl::AnswerFolder(L"D:\\nowy");
    folder.ClickButton();
    EXPECT_EQ(folder.Text(), L"D:\\nowy");
    auto runs = hl::TakeDialogs();
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_EQ(runs[0].initialDir, L"C:\\prog\\");
    EXPECT_EQ(runs[2].kind, hl::DialogKind::Folder);
    EXPECT_EQ(runs[2].initialDir, L"C:\\old\\"); // the folder dialog starts at the edit's text
}

TEST_F(Components, EditWithLabelPlacesTheLabelOnItsLeft) {
    gui::Form form;
    form.Create({.caption = L"edit", .font = gui::PixelFont(11, gui::Rgb(1, 2, 3))});
    gui::Edit edit;
    edit.Create(form, {.bounds = {256, 118, 277, 21},
                       .readOnly = true,
                       .labelText = L"Program (exe) :",
                       .button = true,
                       .buttonCaption = L" ..."});
    ASSERT_NE(edit.CaptionLabel(), nullptr);
    const gui::Rect& lb = edit.CaptionLabel()->Bounds();
    EXPECT_EQ(lb.left + lb.width + 3, 256);
    EXPECT_GE(lb.top, 118);
    ASSERT_NE(edit.EmbeddedButton(), nullptr);
    EXPECT_EQ(edit.EmbeddedButton()->Caption(), L" ...");
    int changes = 0;
    edit.OnChange = [&] { ++changes; };
    edit.SetText(L"a");
    edit.SetText(L"a");
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(edit.EffectiveFont().color, gui::Rgb(1, 2, 3));
}

TEST_F(Components, ComboBoxOnlyPicksListedEntries) {
    gui::Form form;
    form.Create({.caption = L"combo"});
    gui::ComboBox combo;
    combo.Create(form, {.bounds = {216, 62, 133, 21}});
    EXPECT_EQ(combo.ItemIndex(), -1);
    EXPECT_EQ(combo.Text(), L"");
    combo.AddItem(L"Dunvel");
    combo.AddItem(L"Brondel");
    int changes = 0;
    combo.OnChange = [&] { ++changes; };
    combo.Pick(1);
    EXPECT_EQ(combo.Text(), L"Brondel");
    combo.Pick(2);
    combo.Pick(-1);
    EXPECT_EQ(combo.ItemIndex(), 1);
    EXPECT_EQ(changes, 1);
    combo.Clear();
    EXPECT_EQ(combo.ItemIndex(), -1);
    EXPECT_TRUE(combo.Items().empty());
}

TEST_F(Components, TabPagesHideAndSelect) {
    gui::Form form;
    form.Create({.caption = L"pages", .clientWidth = 440, .clientHeight = 164});
    gui::PageControl pages;
    pages.Create(form, {.align = gui::Align::Client, .buttonTabs = true});
    gui::TabSheet fetch, send;
    fetch.Create(pages, {.caption = L" Pobierz z FTP"});
    send.Create(pages, {.caption = L" Wyślij do FTP"});
    EXPECT_EQ(pages.Bounds(), (gui::Rect{0, 0, 440, 164}));
    EXPECT_EQ(pages.ActivePage(), &fetch);
    EXPECT_TRUE(fetch.Visible());
    EXPECT_FALSE(send.Visible());
    pages.SelectTab(send);
    EXPECT_EQ(pages.ActivePage(), &send);
    send.SetTabVisible(false);
    EXPECT_EQ(pages.ActivePage(), &fetch);
    EXPECT_EQ(pages.VisibleTabs(), std::vector<gui::TabSheet*>{&fetch});
    pages.SelectTab(send); // its tab is hidden: nothing happens
    EXPECT_EQ(pages.ActivePage(), &fetch);
    // The pages follow the page control's size.
    pages.SetBounds({0, 0, 500, 200});
    EXPECT_EQ(fetch.Bounds().width, 492);
    EXPECT_EQ(send.Bounds().height, 172);
    send.SetTabVisible(true);
    send.SetEnabled(false);
    pages.SelectTab(send);
    EXPECT_EQ(pages.ActivePage(), &fetch);
}

TEST_F(Components, PanelsAlongTheEdgesTakeTheFullWidth) {
    gui::Form form;
    form.Create({.caption = L"strips", .clientWidth = 568, .clientHeight = 240});
    gui::Panel top, bottom;
    top.Create(form, {.bounds = {5, 5, 10, 31}, .align = gui::Align::Top});
    bottom.Create(form, {.bounds = {5, 5, 10, 44}, .align = gui::Align::Bottom});
    EXPECT_EQ(top.Bounds(), (gui::Rect{0, 0, 568, 31}));
    EXPECT_EQ(bottom.Bounds(), (gui::Rect{0, 196, 568, 44}));
}

TEST_F(Components, HiddenOrDisabledControlsIgnoreClicks) {
    gui::Form form;
    form.Create({.caption = L"clicks"});
    gui::Button hidden;
    hidden.Create(form, {.bounds = {390, 112, 29, 11}, .visible = false});
    gui::Label label;
    label.Create(form, {.text = L"x"});
    int clicks = 0;
    hidden.OnClick = [&] { ++clicks; };
    label.OnClick = [&] { ++clicks; };
    hidden.Click();
    label.SetEnabled(false);
    label.Click();
    EXPECT_EQ(clicks, 0);
    label.SetEnabled(true);
    label.Click();
    EXPECT_EQ(clicks, 1);
}

} // namespace

namespace {

// A disabled form takes no input through any of its controls, however deep they sit; a
// busy scope keeps it so and gives it back enabled on every way out.
TEST_F(Components, ADisabledFormTakesNoInputUntilItsBusyScopeEnds) {
    gui::Form form;
    form.Create({.caption = L"busy"});
    gui::Panel panel;
    panel.Create(form, {.bounds = {0, 0, 300, 40}});
    gui::Button button;
    button.Create(panel, {.caption = L"START", .bounds = {5, 5, 75, 25}});
    gui::Label label;
    label.Create(form, {.text = L"tytuł"});
    gui::Edit edit;
    edit.Create(form, {.bounds = {10, 60, 200, 21}, .button = true});
    gui::ComboBox combo;
    combo.Create(form, {.bounds = {10, 90, 100, 21}});
    combo.AddItem(L"Alfa");
    gui::PageControl pages;
    pages.Create(form, {.bounds = {0, 120, 300, 80}});
    gui::TabSheet first, second;
    first.Create(pages, {.caption = L"1"});
    second.Create(pages, {.caption = L"2"});
    int reactions = 0;
    button.OnClick = [&] { ++reactions; };
    label.OnClick = [&] { ++reactions; };
    edit.OnButtonClick = [&] { ++reactions; };
    combo.OnChange = [&] { ++reactions; };
    pages.OnChange = [&] { ++reactions; };
    auto useAll = [&] {
        button.Click();
        label.Click();
        edit.ClickButton();
        combo.Pick(0);
        pages.SelectTab(pages.ActivePage() == &first ? second : first);
    };
    {
        gui::BusyForm busy(form);
        EXPECT_FALSE(form.Enabled());
        EXPECT_TRUE(button.Enabled()); // the controls keep their own state
        EXPECT_FALSE(button.EnabledWithParents());
        useAll();
        EXPECT_EQ(reactions, 0);
        EXPECT_EQ(combo.ItemIndex(), -1);
        EXPECT_EQ(pages.ActivePage(), &first);
        busy.End();
        EXPECT_TRUE(form.Enabled());
        useAll();
        EXPECT_EQ(reactions, 5);
    }
    // A failure that leaves the scope enables the form too.
    bool failed = false;
    try {
        gui::BusyForm busy(form);
        EXPECT_FALSE(form.Enabled());
        throw Error(L"przerwano");
    } catch (const Error&) {
        failed = true;
    }
    EXPECT_TRUE(failed);
    EXPECT_TRUE(form.Enabled());
}

} // namespace
