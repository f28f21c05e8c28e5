// Start-up: the date and time formats under other regional settings, and the window set.

#include <gtest/gtest.h>

#include <windows.h>

#include "app/Startup.h"
#include "app/Vyt_Main.h"
#include "ftp/Unv_CFtp.h"
#include "gui/Headless.h"
#include "pack/Unv_MZip.h"
#include "upgrade/Unv_Upgr.h"
#include "upgrade/Upg_FtpL.h"
#include "upgrade/UpguQvx.h"
#include "util/DateTime.h"

namespace {

std::wstring Locale(LCTYPE type) {
    wchar_t buf[80] = {};
    GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buf, 80);
    return buf;
}

// Changes the user's regional settings for one test and puts them back afterwards.
struct RegionalSettings {
    std::wstring time = Locale(LOCALE_STIME);
    std::wstring timeFormat = Locale(LOCALE_STIMEFORMAT);
    std::wstring date = Locale(LOCALE_SSHORTDATE);
    ~RegionalSettings() {
        SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, date.c_str());
        SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIMEFORMAT, timeFormat.c_str());
        SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, time.c_str());
        FixStartupFormats(L':');
    }
};

TEST(Startup, FormatsAreFixedWhateverTheRegionalSettings) {
    RegionalSettings keep;
    ASSERT_TRUE(SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, L"dd.MM.yyyy"));
    ASSERT_TRUE(SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIMEFORMAT, L"HH.mm.ss"));
    if (Locale(LOCALE_STIME) != L".") GTEST_SKIP() << "the time separator cannot be changed here";
    FixStartFormats();
    TDateTime t = EncodeDateTime(2021, 5, 16, 9, 30, 5);
    EXPECT_EQ(DateToStr(t), L"2021-05-16");
    EXPECT_EQ(TimeToStr(t), L"09.30.05");
    EXPECT_EQ(StrToDate(L"2021-05-16"), EncodeDate(2021, 5, 16));
    EXPECT_EQ(FormatSettings().ShortDateFormat, L"YYYY-MM-DD");
    EXPECT_FALSE(FormatSettings().AutoRefresh);

    // Settings changed while the program runs change nothing.
    ASSERT_TRUE(SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIMEFORMAT, L"HH:mm:ss"));
    EXPECT_EQ(TimeToStr(t), L"09.30.05");
    EXPECT_EQ(DateToStr(t), L"2021-05-16");
}

TEST(Startup, SixWindowsHiddenMainFirstOnlyTheMainWindowShows) {
    gui::headless::Reset();
    auto& app = gui::Application::Instance();
    ASSERT_EQ(app.MainForm(), nullptr);
    CreateWindowSet(app);
    std::vector<gui::Form*> expected{VytFMain, UpgFqvx, UnvFUpgr, UpgFFtpL, UnvFMZip, UnvFCFtp};
    EXPECT_EQ(app.Forms(), expected);
    EXPECT_EQ(app.MainForm(), VytFMain);
    for (gui::Form* f : app.Forms())
        EXPECT_FALSE(f->Visible()) << f->Caption();

    app.Run();
    gui::headless::ClearBoxes(); // whatever the firm list fetch reported
    EXPECT_TRUE(VytFMain->Visible());
    for (gui::Form* f : app.Forms()) {
        if (f != VytFMain) {
            EXPECT_FALSE(f->Visible()) << f->Caption();
        }
    }

    VytFMain->Close();
    EXPECT_TRUE(app.Terminated());
    app.DestroyForms();
    EXPECT_EQ(VytFMain, nullptr);
    EXPECT_EQ(UnvFCFtp, nullptr);
    EXPECT_EQ(app.MainForm(), nullptr);
    EXPECT_TRUE(app.Forms().empty());
}

TEST(Startup, ModuleWindowsHaveTheirCaptionsSizesAndFrames) {
    TUnvFCFtp ftp;
    TUnvFMZip zip;
    TUnvFUpgr upgr;
    TUpgFqvx qvx;
    TUpgFFtpL list;
    using gui::BorderStyle;
    struct Case {
        gui::Form& form;
        const wchar_t* caption;
        int width, height;
        BorderStyle border;
        bool onTop, closeButton;
    } cases[] = {
        {ftp, L"  PRZERZUT NA/Z FTP*", 568, 42, BorderStyle::Tool, true, false},
        {zip, L"  KOMPRESJA DANYCH*", 562, 54, BorderStyle::Tool, true, false},
        {upgr, L"  UPGRADE MANAGER*", 260, 104, BorderStyle::Dialog, false, true},
        {qvx, L"UPGRADE QVX*", 440, 164, BorderStyle::Sizeable, false, true},
        {list, L"UpgFFtpL*", 169, 268, BorderStyle::Sizeable, false, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.form.Caption(), c.caption);
        EXPECT_EQ(c.form.ClientWidth(), c.width) << c.form.Caption();
        EXPECT_EQ(c.form.ClientHeight(), c.height) << c.form.Caption();
        EXPECT_EQ(c.form.Description().border, c.border) << c.form.Caption();
        EXPECT_EQ(c.form.StayOnTop(), c.onTop) << c.form.Caption();
        EXPECT_EQ(c.form.Description().closeButton, c.closeButton) << c.form.Caption();
        EXPECT_EQ(c.form.Background(), gui::Rgb(240, 240, 240));
        EXPECT_FALSE(c.form.Visible());
    }
    EXPECT_EQ(ftp.PBarF.Position(), 30);
    EXPECT_EQ(ftp.PBarF.Maximum(), 100);
    EXPECT_EQ(ftp.PBarF.BarColor(), gui::Rgb(131, 187, 214));
    EXPECT_EQ(ftp.L_FNaz.Text(), L"----");
    EXPECT_EQ(qvx.PgOdbNad.ActivePage(), &qvx.Sh_PobFtp);
    EXPECT_FALSE(qvx.SBt_FtpLst.Visible());
    EXPECT_EQ(list.LBx.Bounds(), (gui::Rect{0, 0, 169, 239}));
}

} // namespace
