#include "pack/Unv_MZip.h"

#include <cmath>

#include "gui/Application.h"
#include "pack/ZipFiles.h"
#include "util/FileSystem.h"
#include "util/pres.h"

TUnvFMZip* UnvFMZip = nullptr;

namespace {

// The gauge holds 32-bit values: the low 32 bits of the engine's totals.
int Low32(std::int64_t value) {
    return static_cast<int>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value)));
}

std::wstring Percent(std::int64_t max, std::int64_t position) {
    return std::to_wstring(TUnvFMZip::PercentOf(0, max, position)) + L"%";
}

std::wstring FileLine(const AnsiString& name, std::int32_t index, std::int64_t fileSize,
                      std::int64_t cabSize) {
    return std::to_wstring(index) + L": " + FromAnsi(name) + L" " + std::to_wstring(fileSize) +
           L" " + std::to_wstring(cabSize);
}

} // namespace

TUnvFMZip::TUnvFMZip() {
    using namespace gui;
    Create(FormDesc{.caption = L"  KOMPRESJA DANYCH*",
                    .clientWidth = 562,
                    .clientHeight = 54,
                    .border = BorderStyle::Tool,
                    .closeButton = false,
                    .stayOnTop = true,
                    .color = Rgb(240, 240, 240),
                    .font = Font{L"Tahoma", 8, FontUnit::Points, false, Rgb(0, 0, 0)}});
    L_FNaz.Create(*this, {.text = L"----", .left = 28, .top = 6, .width = 18, .height = 15});
    L_CCmp.Create(*this, {.text = L"----",
                          .left = 292,
                          .top = 6,
                          .width = 242,
                          .height = 15,
                          .autoSize = false,
                          .align = TextAlign::Right});
    PBarC.Create(*this, {.bounds = {16, 23, 531, 10}, .minimum = 0, .maximum = 100});

    DCompr.Options = dcoForceDirectories;
    DCompr.OnStart = [this](TCabComponent& s) { DComprStart(s); };
    DCompr.OnProgress = [this](TCabComponent& s, const AnsiString& name, std::int32_t index,
                               std::int64_t fileSize, std::int64_t cabSize) {
        DComprProgress(s, name, index, fileSize, cabSize);
    };
    DCompr.OnFinish = [this](TCabComponent& s) { DComprFinish(s); };
    DCompr.OnError = [this](TCabComponent& s, std::uint16_t code) { DComprError(s, code); };
    DCompr.OnFileExists = [this](TCabComponent& s, const AnsiString& item, bool& cancel) {
        DComprFileExists(s, item, cancel);
    };
    DCompr.OnFolderRequired = [this](TCabComponent& s, const AnsiString& item, bool& cancel) {
        DComprFolderRequired(s, item, cancel);
    };
    CCompr.OnStart = [this](TCabComponent& s) { CComprStart(s); };
    CCompr.OnProgress = [this](TCabComponent& s, const AnsiString& name, std::int32_t index,
                               std::int64_t fileSize, std::int64_t cabSize) {
        CComprProgress(s, name, index, fileSize, cabSize);
    };
    CCompr.OnFinish = [this](TCabComponent& s) { CComprFinish(s); };
}

int TUnvFMZip::PercentOf(std::int64_t Min, std::int64_t Max, std::int64_t Position) {
    if (Max == Min) return Position >= Max ? 100 : 0;
    const double share = static_cast<double>(Position - Min) / static_cast<double>(Max - Min);
    // The default rounding mode rounds halves to the even neighbour.
    const double rounded = std::nearbyint(share * 100.0);
    if (!(rounded > 0)) return 0;
    if (rounded > 100) return 100;
    return static_cast<int>(rounded);
}

bool TUnvFMZip::CCompres(std::vector<std::wstring>& pPlks, std::wstring pPlkCCmp) {
    PlkS = &pPlks;
    PlkCCmp = pPlkCCmp;
    if (IsBlank(ExtractFileExt(PlkCCmp))) PlkCCmp += L".cab";
    Fst = true;
    CCompr.Items.Clear();
    CCompr.FileName = PlkCCmp;
    for (const std::wstring& line : *PlkS)
        CCompr.AddFile(line, "");
    Show();
    const bool written = CCompr.Compress();
    Hide();
    PlkS = nullptr;
    return written;
}

bool TUnvFMZip::DCompres(std::wstring pPlkDCmp, std::wstring pDstPath, std::wstring& PlkDcm) {
    Fst = false;
    DstPath = pDstPath;
    PlkDCmp = pPlkDCmp;
    // The previous cabinet's listing must not pass for this file's contents.
    if (!DCompr.IsCabFile(PlkDCmp)) {
        throw Error(
            L"Nie można rozpakować pliku " + PlkDCmp +
            (FileExists(PlkDCmp) ? L": to nie jest archiwum CAB." : L": plik nie istnieje."));
    }
    Show();
    DCompr.DestinationPath = DstPath;
    DCompr.SetFileName(PlkDCmp);
    const bool unpacked = DCompr.Extract(false);
    WaitMs(1000);
    // The name as it was checked and written, not its form in the code page.
    const TCabItem& first = DCompr.Item(0);
    PlkDcm = first.WideFileName.empty() ? FromAnsi(first.FileName) : first.WideFileName;
    Hide();
    return unpacked && DCompr.LastError() == 0;
}

bool TUnvFMZip::ZipFile(const std::wstring& ArchiveName, const std::wstring& Filename) {
    return ::ZipFile(ArchiveName, Filename);
}

bool TUnvFMZip::UnZipFile(const std::wstring& ArchiveName, const std::wstring& Path) {
    return ::UnZipFile(ArchiveName, Path);
}

void TUnvFMZip::CComprStart(TCabComponent&) {
    Flast = -1;
    L_FNaz.SetText(L"--");
    PBarC.SetMaximum(Low32(CCompr.OriginalFileSize()));
}

void TUnvFMZip::CComprProgress(TCabComponent&, const AnsiString& FileName, std::int32_t FileIndex,
                               std::int64_t CurrentFileSize, std::int64_t CurrentCabSize) {
    gui::Application::Instance().ProcessMessages();
    PBarC.SetPosition(Low32(CurrentFileSize));
    L_CCmp.SetText(Percent(PBarC.Maximum(), CurrentFileSize));
    if (FileIndex != Flast) {
        Flast = FileIndex;
        L_FNaz.SetText(FileLine(FileName, FileIndex, CurrentFileSize, CurrentCabSize));
    }
}

void TUnvFMZip::CComprFinish(TCabComponent&) {
    if (CCompr.LastError() != 0)
        L_CCmp.SetText(L"Błędy");
    else
        L_CCmp.SetText(L"Wsp.: " +
                       std::to_wstring(100 - PercentOf(0, CCompr.SourceFileSize(),
                                                       CCompr.CompressedFileSize())) +
                       L"%");
}

void TUnvFMZip::DComprStart(TCabComponent&) {
    L_FNaz.SetText(L"");
    L_CCmp.SetText(L"");
    PBarC.SetMaximum(Low32(DCompr.SourceFileSize()));
}

void TUnvFMZip::DComprProgress(TCabComponent&, const AnsiString& FileName, std::int32_t FileIndex,
                               std::int64_t CurrentFileSize, std::int64_t CurrentCabSize) {
    PBarC.SetPosition(Low32(CurrentCabSize));
    L_CCmp.SetText(Percent(PBarC.Maximum(), CurrentCabSize));
    L_FNaz.SetText(FileLine(FileName, FileIndex, CurrentFileSize, CurrentCabSize));
}

void TUnvFMZip::DComprFinish(TCabComponent&) {
    if (DCompr.LastError() != 0)
        L_CCmp.SetText(L"Errors occured");
    else
        L_CCmp.SetText(std::to_wstring(DCompr.ExtractFileCount()) + L" plików (" +
                       std::to_wstring(DCompr.SourceFileSize()) + L" bajtów");
}

void TUnvFMZip::DComprError(TCabComponent&, std::uint16_t ErrorCode) {
    if (ErrorCode != 0)
        gui::ShowMessageBox(gui::MsgKind::Plain, L"Błąd: " + std::to_wstring(ErrorCode));
}

void TUnvFMZip::DComprFileExists(TCabComponent&, const AnsiString& ItemName, bool&) {
    gui::ShowMessageBox(gui::MsgKind::Plain, FromAnsi(ItemName) + L" już istnieje");
}

void TUnvFMZip::DComprFolderRequired(TCabComponent&, const AnsiString& ItemName, bool&) {
    gui::ShowMessageBox(gui::MsgKind::Plain,
                        L"Katalog " + FromAnsi(ItemName) + L" musi być utworzony ");
}
