#pragma once
// The upgrade transfer window: a fetch page and a send page, each with its "Start" button.

#include "gui/Button.h"
#include "gui/Dialogs.h"
#include "gui/Edit.h"
#include "gui/Form.h"
#include "gui/Label.h"
#include "gui/PageControl.h"
#include "util/DhExch.h"

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

    // Chooses the direction, fills its page's edits and shows the window modally; returns
    // when the window is closed. Par1/Par2: orwRead the remote file and the local folder,
    // orwWrite the local file and the remote folder, orwALL unused.
    void Run_Modul(TOpcRW pOpRW, std::wstring Par1, std::wstring Par2, bool pROn, bool pVsKom);

    // The local result path of the last successful fetch.
    const std::wstring& PlikL() const { return PlikL_; }
    // The remote archive path of the last successful send.
    const std::wstring& PlikF() const { return PlikF_; }

private:
    TOpcRW OpRW = orwALL;
    bool ROn = false;
    bool RunMd = false; // set by the first Run_Modul, never reset
    bool VsKom = false;
    std::wstring PlikL_;
    std::wstring PlikF_;
};

extern TUpgFqvx* UpgFqvx;
