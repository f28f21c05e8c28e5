#include "ftp/Unv_CFtp.h"

#include <windows.h>

#include "deploy/Deployment.h"
#include "gui/Application.h"
#include "util/FileSystem.h"
#include "util/pres.h"

TUnvFCFtp* UnvFCFtp = nullptr;

TUnvFCFtp::TUnvFCFtp() {
    using namespace gui;
    Create(FormDesc{.caption = L"  PRZERZUT NA/Z FTP*",
                    .clientWidth = 568,
                    .clientHeight = 42,
                    .border = BorderStyle::Tool,
                    .closeButton = false,
                    .stayOnTop = true,
                    .color = Rgb(240, 240, 240),
                    .font = Font{L"Tahoma", 8, FontUnit::Points, false, Rgb(0, 0, 0)}});
    L_FNaz.Create(*this, {.text = L"----",
                          .left = 28,
                          .top = 6,
                          .width = 256,
                          .height = 15,
                          .autoSize = false,
                          .align = TextAlign::Right});
    L_FDst.Create(*this, {.text = L"----",
                          .left = 290,
                          .top = 6,
                          .width = 247,
                          .height = 15,
                          .autoSize = false,
                          .align = TextAlign::Right});
    PBarF.Create(*this, {.bounds = {18, 24, 535, 8},
                         .minimum = 0,
                         .maximum = 100,
                         .position = 30,
                         .barColor = Rgb(131, 187, 214),
                         .backColor = Rgb(255, 255, 255),
                         .border = false});

    IdFTP1.Passive = true;
    IdFTP1.TransferType = ftBinary;
    IdFTP1.Port = deploy::kFtpPort;
    IdFTP1.ConnectTimeout = 0;
    IdFTP1.ReadTimeout = kTransferReadTimeoutMs;
    IdFTP1.TransferTimeout = kTransferDataTimeoutMs;
    IdFTP1.OnWork = [this](FtpClient& s, WorkMode m, std::int64_t n) { IdFTP1Work(s, m, n); };
    IdFTP1.OnWorkBegin = [this](FtpClient& s, WorkMode m, std::int64_t n) {
        IdFTP1WorkBegin(s, m, n);
    };
}

void TUnvFCFtp::Init_Ftp(const std::wstring& pHst, const std::wstring& pUsr,
                         const std::wstring& pPas, bool DxE) {
    if (DxE) {
        Hst = UnscrambleDigits(pHst);
        Usr = UnscrambleDigits(pUsr);
        Pas = UnscrambleDigits(pPas);
        return;
    }
    const ShortString keyA = ToShort(deploy::KeyA());
    const ShortString keyB = ToShort(deploy::KeyB());
    Hst = FromShort(UnscrambleText(ToShort(pHst), keyA, true));
    Usr = FromShort(UnscrambleText(ToShort(pUsr), keyA, true));
    Pas = FromShort(UnscrambleText(ToShort(pPas), keyB, true));
}

void TUnvFCFtp::OpenConnection() {
    IdFTP1.Username = Usr;
    IdFTP1.Password = Pas;
    IdFTP1.Host = Hst;
    IdFTP1.Connect();
}

void TUnvFCFtp::Finish() noexcept {
    try {
        if (IdFTP1.Connected()) IdFTP1.Disconnect();
    } catch (...) {
    }
    try {
        Hide();
    } catch (...) {
    }
}

void TUnvFCFtp::PlikFromFtp(const std::wstring& PlkFtp, const std::wstring& PlkLoc, bool kod) {
    (void)kod;
    bool reported = false;
    bool created = false; // the local file is ours to remove when the fetch fails
    try {
        Show();
        OpenConnection();
        L_FNaz.SetText(PlkLoc);
        L_FDst.SetText(PlkFtp);
        PBarF.SetMaximum(static_cast<std::int32_t>(IdFTP1.Size(PlkFtp)));
        const std::int64_t size = IdFTP1.Size(PlkFtp);
        if (size > 0) {
            created = !FileExists(PlkLoc);
            try {
                IdFTP1.Get(PlkFtp, PlkLoc, false, false, size);
            } catch (const EFtpTooLarge& e) {
                throw EInOutError(L"Plik " + PlkFtp +
                                  L" nie został pobrany: serwer przysłał co najmniej " +
                                  std::to_wstring(e.Received()) + L" bajtów, a podał " +
                                  std::to_wstring(size) + L".");
            }
            const std::int64_t got = FileSize(PlkLoc);
            if (got != size)
                throw EInOutError(L"Plik " + PlkFtp + L" nie został pobrany w całości: " + PlkLoc +
                                  L" ma " + std::to_wstring(got < 0 ? 0 : got) +
                                  L" bajtów, a serwer podał " + std::to_wstring(size) + L".");
        } else {
            gui::ShowMessageBox(gui::MsgKind::Plain, L"Brak pliku " + PlkFtp + L" na FTP !");
            reported = true;
        }
        WaitMs(2000);
    } catch (...) {
        Finish();
        // A broken or incomplete fetch never leaves a file that could pass as complete.
        if (created) DeleteFileW(PlkLoc.c_str());
        throw;
    }
    Finish();
    if (reported) throw EAbort();
}

void TUnvFCFtp::PlikToFtp(const std::wstring& PlkLoc, const std::wstring& PlkFtp, bool kod) {
    (void)kod;
    bool reported = false;
    try {
        Show();
        OpenConnection();
        Utwrz_Folder(PlkFtp);
        L_FNaz.SetText(PlkLoc);
        L_FDst.SetText(PlkFtp);
        PBarF.SetMaximum(GetFileSizeBySeek(PlkLoc));
        if (FileExists(PlkLoc)) {
            IdFTP1.Put(PlkLoc, PlkFtp, false, -1);
        } else {
            gui::ShowMessageBox(gui::MsgKind::Plain, L"Brak pliku " + PlkLoc + L" na dysku !");
            reported = true;
        }
        WaitMs(2000);
    } catch (...) {
        Finish();
        throw;
    }
    Finish();
    if (reported) throw EAbort();
}

void TUnvFCFtp::ListFromFtp(const std::wstring& DirFtp, std::vector<std::wstring>& LList) {
    try {
        OpenConnection();
        IdFTP1.ChangeDir(DirFtp);
        IdFTP1.List();
        std::vector<std::wstring> names;
        for (const FtpListItem& item : IdFTP1.DirectoryListing())
            names.push_back(item.FileName);
        LList.insert(LList.end(), names.begin(), names.end());
    } catch (...) {
        Finish();
        throw;
    }
    try {
        if (IdFTP1.Connected()) IdFTP1.Disconnect();
    } catch (...) {
    }
}

std::wstring TUnvFCFtp::RemoteFolderOf(const std::wstring& remotePath) {
    std::wstring t = ReplaceAll(remotePath, L"//", L"c:\\");
    t = ReplaceAll(t, L"/", L"\\");
    std::wstring f = ExtractFilePath(t);
    f = ReplaceAll(f, L"c:\\", L"//");
    return ReplaceAll(f, L"\\", L"/");
}

void TUnvFCFtp::Utwrz_Folder(const std::wstring& pFtpPlk) {
    Utwrz_FolderD(RemoteFolderOf(pFtpPlk));
}

void TUnvFCFtp::Utwrz_FolderD(const std::wstring& pFtpDir) {
    try {
        IdFTP1.ChangeDir(pFtpDir);
        return;
    } catch (const Error&) {
        // Any refusal of the change counts as "missing": the folder is made. A failure that
        // also ended the connection (421, a time-out) is passed on with its own reason rather
        // than as the "Not connected." of the MKD that would follow.
        if (!IdFTP1.Connected()) throw;
    }
    IdFTP1.MakeDir(pFtpDir);
}

void TUnvFCFtp::IdFTP1Work(FtpClient& ASender, WorkMode AWorkMode, std::int64_t AWorkCount) {
    (void)ASender;
    (void)AWorkMode;
    gui::Application::Instance().ProcessMessages();
    PBarF.SetPosition(static_cast<std::int32_t>(AWorkCount));
}

void TUnvFCFtp::IdFTP1WorkBegin(FtpClient& ASender, WorkMode AWorkMode,
                                std::int64_t AWorkCountMax) {
    (void)ASender;
    (void)AWorkMode;
    (void)AWorkCountMax;
}
