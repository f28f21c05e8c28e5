#include "upgrade/UpguQvx.h"

TUpgFqvx* UpgFqvx = nullptr;

namespace {

const gui::Font kGreyText{L"Tahoma", 8, gui::FontUnit::Points, false, gui::Rgb(128, 128, 128)};

} // namespace

TUpgFqvx::TUpgFqvx() {
    using namespace gui;
    Create(FormDesc{.caption = L"UPGRADE QVX*",
                    .clientWidth = 440,
                    .clientHeight = 164,
                    .border = BorderStyle::Sizeable,
                    .color = Rgb(240, 240, 240),
                    .font = Font{L"Tahoma", 8, FontUnit::Points, false, Rgb(0, 0, 0)}});
    PgOdbNad.Create(*this,
                    {.bounds = {0, 0, 440, 164}, .align = Align::Client, .buttonTabs = true});

    Sh_PobFtp.Create(PgOdbNad, {.caption = L" Pobierz z FTP"});
    L_OdbPlkFtp.Create(Sh_PobFtp,
                       {.text = L"Plik FTP :", .left = 39, .top = 35, .font = kGreyText});
    Ed_OdbPlkFtp.Create(Sh_PobFtp, {.bounds = {90, 32, 321, 21}, .button = true});
    L_OdbKatLoc.Create(Sh_PobFtp,
                       {.text = L"Katalog Loc :", .left = 20, .top = 67, .font = kGreyText});
    Ed_OdbKatLoc.Create(Sh_PobFtp, {.bounds = {90, 64, 321, 21}});
    Sbt_OdbStart.Create(Sh_PobFtp, {.caption = L"Start", .bounds = {170, 104, 64, 17}});
    SBt_Wyj.Create(Sh_PobFtp,
                   {.caption = L"Wyjdź", .bounds = {240, 104, 55, 17}, .font = kGreyText});
    SBt_FtpLst.Create(Sh_PobFtp, {.bounds = {390, 112, 29, 11}, .visible = false});

    Sh_WysFtp.Create(PgOdbNad, {.caption = L" Wyślij do FTP"});
    L_NadPlkLoc.Create(Sh_WysFtp,
                       {.text = L"Plik Loc :", .left = 39, .top = 38, .font = kGreyText});
    Ed_NadPlkLoc.Create(Sh_WysFtp, {.bounds = {90, 34, 323, 21}},
                        {.filter = L"", .hideReadOnly = true});
    L_NadKatFtp.Create(Sh_WysFtp,
                       {.text = L"Katalog Ftp :", .left = 20, .top = 70, .font = kGreyText});
    Ed_NadKatFtp.Create(Sh_WysFtp, {.bounds = {90, 67, 323, 21}, .button = true});
    Sbt_NadStart.Create(Sh_WysFtp, {.caption = L"Start", .bounds = {174, 104, 59, 17}});
    SBt_Wyj2.Create(Sh_WysFtp,
                    {.caption = L"Wyjdź", .bounds = {243, 106, 52, 15}, .font = kGreyText});

    PgOdbNad.SetActivePage(&Sh_PobFtp);

    OnShow = [this] { FormShow(); };
    Ed_OdbPlkFtp.OnButtonClick = [this] { Ed_OdbPlkFtpBtnClick(); };
    Ed_NadKatFtp.OnButtonClick = [this] { Ed_NadKatFtpBtnClick(); };
    Sbt_NadStart.OnClick = [this] { Sbt_NadStartClick(); };
    Sbt_OdbStart.OnClick = [this] { Sbt_OdbStartClick(); };
    SBt_FtpLst.OnClick = [this] { SBt_FtpLstClick(); };
    SBt_Wyj.OnClick = [this] { SBt_WyjClick(); };
    SBt_Wyj2.OnClick = [this] { SBt_Wyj2Click(); };
    FormCreate();
}

// TODO(upgrade): the handlers' bodies.
void TUpgFqvx::FormCreate() {}
void TUpgFqvx::FormShow() {}
void TUpgFqvx::Ed_OdbPlkFtpBtnClick() {}
void TUpgFqvx::Ed_NadKatFtpBtnClick() {}
void TUpgFqvx::Sbt_NadStartClick() {}
void TUpgFqvx::Sbt_OdbStartClick() {}
void TUpgFqvx::SBt_FtpLstClick() {}
void TUpgFqvx::SBt_WyjClick() {
    Close();
}
void TUpgFqvx::SBt_Wyj2Click() {
    Close();
}
