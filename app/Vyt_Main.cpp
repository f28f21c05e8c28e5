#include "app/Vyt_Main.h"

#include <windows.h>

#include <vector>

#include "deploy/Deployment.h"
#include "ftp/Unv_CFtp.h"
#include "gui/Application.h"
#include "util/DateTime.h"
#include "util/DhExch.h"
#include "util/FileSystem.h"
#include "util/ProgramImage.h"
#include "util/TextFile.h"
#include "util/pres.h"

TVytFMain* VytFMain = nullptr;

namespace {

using gui::Rgb;

constexpr gui::Color kText = Rgb(77, 111, 149);
constexpr gui::Color kStrip = Rgb(206, 224, 242);

struct StatusLook {
    const wchar_t* text;
    gui::Color color;
};

StatusLook LookOf(TStKor state) {
    switch (state) {
    case stpOK:
        return {L"OK !", Rgb(0, 128, 0)};
    case stpAKT:
        return {L"DO AKTUALIZACJI", Rgb(0, 128, 255)};
    case stpRun:
        return {L"URUCHOMIONY", Rgb(255, 0, 0)};
    case stpBrak:
    case stpNULL:
        break;
    }
    return {L"----", Rgb(128, 128, 128)};
}

// The built-in credentials, scrambled: they become plain only inside the transfer window.
const std::wstring kFtpHost = deploy::ScrambledHost();
const std::wstring kFtpUser = deploy::ScrambledUser();
const std::wstring kFtpPassword = deploy::ScrambledPassword();

const std::wstring kFirmListPath = L"//Upgrade/Tavrin/firmy.txt";
const std::wstring kFirmFolder = L"//Upgrade/Tavrin/";

// The TEMP folder with a trailing "\" ("\" alone when TEMP is not set), with every
// character of TEMP: a TEMP with letters outside any code page still names its folder.
std::wstring TempFolder() {
    std::wstring value;
    DWORD n = GetEnvironmentVariableW(L"TEMP", nullptr, 0);
    if (n > 0) {
        value.resize(n);
        n = GetEnvironmentVariableW(L"TEMP", value.data(), n);
        value.resize(n);
    }
    return FolderWithBackslash(value);
}

// Replaces target by source without a moment in which target is incomplete: source is
// copied beside target under a temporary name (keeping its last-write time) and renamed
// over it. On failure target is unchanged and the temporary copy is gone.
void ReplaceFileAtomically(const std::wstring& source, const std::wstring& target) {
    const std::wstring staged = target + L".korekta-nowy";
    if (!CopyFileTo(source, staged, false)) {
        const std::wstring reason = LastErrorReason();
        DeleteFileW(staged.c_str());
        throw EInOutError(L"Nie udało się skopiować pobranego pliku " + source + L" do " + staged +
                          L": " + reason + L". Program " + target + L" pozostał bez zmian.");
    }
    if (!MoveFileExW(staged.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const std::wstring reason = LastErrorReason();
        DeleteFileW(staged.c_str());
        throw EInOutError(L"Nie udało się zastąpić programu " + target + L": " + reason +
                          L". Program pozostał bez zmian.");
    }
}

// The fetched file may replace the program only when it is a complete program image, and
// one for the installed program's processor when that is known; otherwise a failure that
// names the fetched file and what is wrong with it.
void CheckFetchedProgram(const std::wstring& fetched, const std::wstring& program) {
    const ProgramImage image = ExamineProgramFile(fetched);
    if (!image.valid)
        throw EInOutError(L"Pobrany plik " + fetched + L" nie jest kompletnym programem Windows: " +
                          image.problem + L".\r\nProgram " + program + L" pozostał bez zmian.");
    ProgramImage installed;
    try {
        installed = ExamineProgramFile(program);
    } catch (const Error&) {
        // Unreadable now: the backup, which must read it, reports why.
    }
    if (installed.valid && installed.machine != image.machine)
        throw EInOutError(L"Pobrany plik " + fetched + L" jest programem dla procesora " +
                          MachineName(image.machine) + L", a zainstalowany program " + program +
                          L" jest dla procesora " + MachineName(installed.machine) +
                          L".\r\nProgram pozostał bez zmian.");
}

} // namespace

gui::Drawing DownloadSymbol() {
    gui::Drawing d;
    d.width = 141;
    d.height = 139;
    d.shapes.push_back({{{56, 10}, {85, 10}, {85, 62}, {114, 62}, {70, 106}, {27, 62}, {56, 62}},
                        Rgb(30, 136, 229),
                        Rgb(21, 101, 192)});
    d.shapes.push_back(
        {{{20, 114}, {121, 114}, {121, 128}, {20, 128}}, Rgb(21, 101, 192), Rgb(13, 71, 161)});
    return d;
}

TVytFMain::TVytFMain() {
    using namespace gui;
    Create(FormDesc{.caption = L"***",
                    .clientWidth = 568,
                    .clientHeight = 240,
                    .border = BorderStyle::Dialog,
                    .color = Rgb(246, 249, 250),
                    .font = PixelFont(11, kText)});
    Panel1.Create(*this, {.bounds = {0, 0, 568, 31}, .align = Align::Top, .color = kStrip});
    Label1.Create(Panel1, {.text = L"Korekta SERWERA AKTUALIZACJI",
                           .left = 20,
                           .top = 4,
                           .font = PixelFont(16, kText)});
    Label4.Create(
        Panel1,
        {.text = L"X10.4", .left = 285, .top = 7, .font = PixelFont(13, Rgb(70, 101, 134))});
    Image1.Create(*this, {.bounds = {18, 41, 141, 139}, .drawing = DownloadSymbol()});
    CBx_Firm.Create(*this, {.bounds = {216, 62, 133, 21}});
    Bevel1.Create(*this, {.left = 213, .top = 89, .width = 232});
    Ed_PathExe.Create(*this, {.bounds = {256, 118, 277, 21},
                              .readOnly = true,
                              .labelText = L"Program (exe) :",
                              .labelFont = PixelFont(12, kText),
                              .button = true,
                              .buttonCaption = L" ..."});
    L_Prog.Create(*this, {.text = L"AKTUALIZACJA",
                          .left = 408,
                          .top = 145,
                          .width = 125,
                          .height = 16,
                          .autoSize = false,
                          .align = TextAlign::Center,
                          .font = PixelFont(13, Rgb(0, 128, 255))});
    Panel2.Create(*this, {.bounds = {0, 196, 568, 44}, .align = Align::Bottom, .color = kStrip});
    SBt_Start.Create(Panel2, {.caption = L"START",
                              .bounds = {362, 6, 75, 31},
                              .flat = true,
                              .font = PixelFont(11, kText, true)});
    SBt_Zam.Create(Panel2, {.caption = L"Zamknij", .bounds = {451, 12, 69, 23}, .flat = true});
    ODlg1.Create({.filter = L"Program|*.exe"});
    Tmr.Create({.interval = 1000, .enabled = false});

    OnShow = [this] { FormShow(); };
    OnClose = [this] { FormClose(); };
    Tmr.OnTimer = [this] { TmrTimer(); };
    Label1.OnClick = [this] { Label1Click(); };
    Ed_PathExe.OnButtonClick = [this] { Ed_PathExeBtnClick(); };
    SBt_Start.OnClick = [this] { SBt_StartClick(); };
    SBt_Zam.OnClick = [this] { SBt_ZamClick(); };
}

bool TVytFMain::ProgramExists(const std::wstring& path) const {
    return FileExists(path);
}

void TVytFMain::CheckProgramState() {
    if (!isProg) return;
    std::wstring name = ExtractFileName(ProgFLL);
    if (IsProcessRunning(name)) {
        SetProgState(stpRun);
        return;
    }
    std::int32_t size = 0;
    TDateTime date = 0;
    // A failure leaves date at 0 (1899-12-30), which counts as due for update.
    GetFileInfo(ProgFLL, size, date);
    std::wstring text = NormalizeDate(DateToStr(date));
    SetProgState(text < kCutOffDate ? stpAKT : stpOK);
}

void TVytFMain::LoadFirmList() {
    const std::wstring local = TempFolder() + L"firmy.txt";
    if (FileExists(local)) DeleteFileW(local.c_str());
    UnvFCFtp->Init_Ftp(kFtpHost, kFtpUser, kFtpPassword, false);
    UnvFCFtp->PlikFromFtp(kFirmListPath, local, false);
    const std::vector<std::wstring> firms = SplitLines(DecodeTextFile(ReadWholeFile(local)));
    CBx_Firm.Clear();
    for (const std::wstring& firm : firms)
        CBx_Firm.AddItem(firm);
    CBx_Firm.SetItemIndex(-1);
}

void TVytFMain::SetProgState(TStKor state) {
    StatusLook look = LookOf(state);
    L_Prog.SetText(look.text);
    L_Prog.SetTextColor(look.color);
    ProgAStt = state;
}

void TVytFMain::RefreshStatus() {
    SetProgState(stpNULL);
    isProg = ProgramExists(ProgFLL);
    if (!isProg) ProgAStt = stpBrak;
    CheckProgramState();
}

void TVytFMain::FormShow() {
    // A firm list that cannot be fetched is shown as a failure; the status monitor starts
    // all the same.
    try {
        LoadFirmList();
    } catch (...) {
        gui::Application::Instance().HandleException(std::current_exception());
    }
    RefreshStatus();
    Tmr.SetEnabled(true);
}

void TVytFMain::FormClose() {
    Tmr.SetEnabled(false);
}

void TVytFMain::TmrTimer() {
    RefreshStatus();
}

void TVytFMain::Label1Click() {
    gui::ShowMessageBox(gui::MsgKind::Information, ProgFLL + L"\r\n");
}

void TVytFMain::Ed_PathExeBtnClick() {
    if (ODlg1.Execute()) Ed_PathExe.SetText(ODlg1.FileName());
    ProgFLL = Ed_PathExe.Text();
}

void TVytFMain::SBt_StartClick() {
    // A click that reaches the button during a run (the transfer pumps messages) is ignored.
    if (correctionRunning_) return;
    // From here to the end of the run the window takes no input, as under a modal progress
    // window; every way out (refusal, failure, completion) enables it again and starts the
    // status monitor, before the box the run ends with.
    class Run {
    public:
        explicit Run(TVytFMain& w) : w_(w), busy_(w) {
            w_.correctionRunning_ = true;
            w_.Tmr.SetEnabled(false);
        }
        ~Run() { End(); }
        void End() noexcept {
            if (!w_.correctionRunning_) return;
            busy_.End();
            w_.Tmr.SetEnabled(true);
            w_.correctionRunning_ = false;
        }

    private:
        TVytFMain& w_;
        gui::BusyForm busy_;
    } run(*this);
    auto refuse = [&run](bool condition, const std::wstring& text) {
        if (!condition) return false;
        run.End();
        return ReportIf(true, text, 8, 2);
    };

    // The path as the user sees it, read once, and its status now: a file chosen a moment
    // ago is judged by its own status, not the last tick's.
    ProgFLL = Ed_PathExe.Text();
    const std::wstring program = ProgFLL;
    RefreshStatus();
    if (refuse(IsBlank(program) || ProgAStt == stpBrak,
               L"Nieprawidłowo wskazany plik programu (.exe) !"))
        return;
    if (refuse(ProgAStt == stpRun, L"Wskazany Program nie może byc uruchomiony !")) return;
    if (ProgAStt == stpAKT) {
        WaitMs(500);
        const std::wstring name = ExtractFileName(program);
        const std::wstring local = TempFolder() + name;
        if (FileExists(local)) DeleteFileW(local.c_str());
        UnvFCFtp->Init_Ftp(kFtpHost, kFtpUser, kFtpPassword, false);
        UnvFCFtp->PlikFromFtp(kFirmFolder + CBx_Firm.Text() + L"/" + name, local, false);
        CheckFetchedProgram(local, program);

        // The backup first: without it nothing is replaced.
        const std::wstring backup = ChangeFileExt(program, L".esa");
        if (!CopyFileTo(program, backup, false))
            throw EInOutError(L"Nie udało się utworzyć kopii zapasowej " + backup + L": " +
                              LastErrorReason() + L". Program " + program +
                              L" pozostał bez zmian.");
        ReplaceFileAtomically(local, program);
        // An updater left in place would later undo the correction: that is a failure.
        const std::wstring updater = ExtractFilePath(program) + L"UpdateQV.exe";
        if (FileExists(updater) && !DeleteFileW(updater.c_str()))
            throw EInOutError(L"Program " + program + L" zastąpiono (kopia zapasowa: " + backup +
                              L"), ale nie udało się usunąć pliku " + updater + L": " +
                              LastErrorReason() + L".\r\nUsuń ten plik ręcznie.");
    }
    run.End();
    ShowInfo(L"Wykonano korektę adresu Serwera Aktualizacji !");
}

void TVytFMain::SBt_ZamClick() {
    Close();
}
