#pragma once
// The main window of the correction tool: the program file and the firm to correct, and the
// program's status, refreshed once a second.

#include <cstdint>
#include <string>

#include "gui/Button.h"
#include "gui/ComboBox.h"
#include "gui/Dialogs.h"
#include "gui/Edit.h"
#include "gui/Form.h"
#include "gui/Label.h"
#include "gui/Panel.h"
#include "gui/Picture.h"
#include "gui/Separator.h"
#include "gui/Timer.h"

// The program status shown on L_Prog.
enum TStKor : std::uint8_t { stpBrak = 0, stpOK = 1, stpAKT = 2, stpRun = 3, stpNULL = 4 };

// Files dated before this day are due for update.
inline const std::wstring kCutOffDate = L"2021-05-16";

class TVytFMain : public gui::Form {
public:
    TVytFMain();

    gui::Panel Panel1;
    gui::Label Label1;
    gui::Label Label4;
    gui::Picture Image1;
    gui::ComboBox CBx_Firm;
    gui::Separator Bevel1;
    gui::Edit Ed_PathExe;
    gui::Label L_Prog;
    gui::Panel Panel2;
    gui::Button SBt_Start;
    gui::Button SBt_Zam;
    gui::OpenFileDialog ODlg1;
    gui::Timer Tmr;

    bool isConIP = false;
    bool isProg = false;
    std::wstring ProgFLL;
    TStKor ProgAStt = stpBrak;

    bool ProgramExists(const std::wstring& path) const;
    void CheckProgramState();
    void LoadFirmList();
    void SetProgState(TStKor state);
    void RefreshStatus();

    void FormShow();
    void FormClose();
    void TmrTimer();
    void Label1Click();
    void Ed_PathExeBtnClick();
    void SBt_StartClick();
    void SBt_ZamClick();

private:
    bool correctionRunning_ = false;
};

// The download symbol of Image1: a blue arrow pointing down onto a bar.
gui::Drawing DownloadSymbol();

extern TVytFMain* VytFMain;
