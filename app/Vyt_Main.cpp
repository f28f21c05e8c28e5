#include "app/Vyt_Main.h"

#include <windows.h>

#include "gui/Application.h"
#include "util/DateTime.h"
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
    if (path.empty()) return false;
    DWORD attr = GetFileAttributesW(path.c_str());
    if (attr == INVALID_FILE_ATTRIBUTES || (attr & FILE_ATTRIBUTE_DIRECTORY)) return false;
    if (!(attr & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
    // A link counts only when its target exists: opening follows it.
    HANDLE h = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
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
    // Filled by the firm list retrieval.
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
    LoadFirmList();
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
    // The correction procedure.
}

void TVytFMain::SBt_ZamClick() {
    Close();
}
