#pragma once
// The upgrade transfer window: a fetch page and a send page, each with its "Start" button.

#include "gui/Button.h"
#include "gui/Dialogs.h"
#include "gui/Edit.h"
#include "gui/Form.h"
#include "gui/Label.h"
#include "gui/PageControl.h"

class TUpgFqvx : public gui::Form {
public:
    TUpgFqvx();

    gui::PageControl PgOdbNad;

    gui::TabSheet Sh_PobFtp;
    gui::Label L_OdbPlkFtp;
    gui::Edit Ed_OdbPlkFtp;
    gui::Label L_OdbKatLoc;
    gui::FolderEdit Ed_OdbKatLoc;
    gui::Button Sbt_OdbStart;
    gui::Button SBt_Wyj;
    gui::Button SBt_FtpLst;

    gui::TabSheet Sh_WysFtp;
    gui::Label L_NadPlkLoc;
    gui::FileEdit Ed_NadPlkLoc;
    gui::Label L_NadKatFtp;
    gui::Edit Ed_NadKatFtp;
    gui::Button Sbt_NadStart;
    gui::Button SBt_Wyj2;

    gui::InputDialog InpDlg;

    void FormCreate();
    void FormShow();
    void Ed_OdbPlkFtpBtnClick();
    void Ed_NadKatFtpBtnClick();
    void Sbt_NadStartClick();
    void Sbt_OdbStartClick();
    void SBt_FtpLstClick();
    void SBt_WyjClick();
    void SBt_Wyj2Click();
    // TODO(upgrade): the fields OpRW, ROn, RunMd, VsKom, PlikL, PlikF and Run_Modul.
};

extern TUpgFqvx* UpgFqvx;
