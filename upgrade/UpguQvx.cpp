#include "upgrade/UpguQvx.h"

#include "gui/Application.h"
#include "upgrade/Unv_Upgr.h"
#include "upgrade/Upg_FtpL.h"
#include "util/pres.h"

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

void TUpgFqvx::FormCreate() {
    RunMd = false;
    OpRW = orwALL;
    PlikL_.clear();
    PlikF_.clear();
}

void TUpgFqvx::Run_Modul(TOpcRW pOpRW, std::wstring Par1, std::wstring Par2, bool pROn,
                         bool pVsKom) {
    RunMd = true;
    ROn = pROn;
    OpRW = pOpRW;
    VsKom = pVsKom;
    if (OpRW == orwRead) {
        PgOdbNad.SetActivePage(&Sh_PobFtp);
        Ed_OdbPlkFtp.SetText(Par1);
        Ed_OdbKatLoc.SetText(Par2);
    } else if (OpRW == orwWrite) {
        PgOdbNad.SetActivePage(&Sh_WysFtp);
        Ed_NadPlkLoc.SetText(Par1);
        Ed_NadKatFtp.SetText(Par2);
    }
    ShowModal();
}

void TUpgFqvx::FormShow() {
    for (gui::TabSheet* page : {&Sh_PobFtp, &Sh_WysFtp}) {
        page->SetTabVisible(true);
        page->SetEnabled(true);
    }
    if (ROn && OpRW == orwRead) {
        Sh_WysFtp.SetTabVisible(false);
        Sh_WysFtp.SetEnabled(false);
    } else if (ROn && OpRW == orwWrite) {
        Sh_PobFtp.SetTabVisible(false);
        Sh_PobFtp.SetEnabled(false);
    }
    if (!RunMd || OpRW == orwALL) {
        const std::wstring folder = ProgramFolder();
        Ed_NadPlkLoc.Dialog().SetInitialDir(folder);
        Ed_OdbKatLoc.SetText(folder);
        Ed_OdbPlkFtp.SetText(L"//Upgrade/");
        Ed_NadKatFtp.SetText(L"//Upgrade/");
    }
}

void TUpgFqvx::Ed_OdbPlkFtpBtnClick() {
    InpDlg.caption = L"DANE Z FTP";
    InpDlg.maxLength = 0;
    InpDlg.prompt = L"Wpisz nazwę pliku na FTP...";
    if (InpDlg.Execute()) Ed_OdbPlkFtp.SetText(InpDlg.Value());
}

void TUpgFqvx::Ed_NadKatFtpBtnClick() {
    InpDlg.caption = L"DANE Z FTP";
    InpDlg.maxLength = 0;
    InpDlg.prompt = L"Wpisz nazwę katalogu na FTP...";
    if (InpDlg.Execute()) Ed_NadKatFtp.SetText(InpDlg.Value());
}

// While a send or a fetch runs (packing and transfer pump messages) the window takes no
// input: no second "Start", no "Wyjdź", no closing. It is enabled again on every way out,
// before the box that reports the result.
void TUpgFqvx::Sbt_NadStartClick() {
    gui::BusyForm busy(*this);
    const std::wstring remoteFolder = TrimSpaces(Ed_NadKatFtp.Text());
    const std::wstring localFile = TrimSpaces(Ed_NadPlkLoc.Text());
    UnvFUpgr->doFTP_QV(localFile, remoteFolder, PlikF_);
    busy.End();
    gui::ShowMessageBox(gui::MsgKind::Plain, L"Wysłano " + PlikF_);
}

void TUpgFqvx::Sbt_OdbStartClick() {
    gui::BusyForm busy(*this);
    const std::wstring remoteFile = TrimSpaces(Ed_OdbPlkFtp.Text());
    UnvFUpgr->zFTP_QV(remoteFile, PlikL_);
    busy.End();
    if (VsKom) gui::ShowMessageBox(gui::MsgKind::Plain, L"Pobrano " + PlikL_);
}

void TUpgFqvx::SBt_FtpLstClick() {
    UpgFFtpL->Run_Modul(TrimSpaces(Ed_OdbPlkFtp.Text()), UnvFUpgr->BuiltInHost,
                        UnvFUpgr->BuiltInUser, UnvFUpgr->BuiltInPassword);
}

void TUpgFqvx::SBt_WyjClick() {
    Close();
}

void TUpgFqvx::SBt_Wyj2Click() {
    Close();
}
