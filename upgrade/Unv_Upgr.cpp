#include "upgrade/Unv_Upgr.h"

#include <windows.h>

#include "deploy/Deployment.h"
#include "ftp/Unv_CFtp.h"
#include "gui/Application.h"
#include "pack/Unv_MZip.h"
#include "util/Errors.h"
#include "util/FileSystem.h"
#include "util/pres.h"

TUnvFUpgr* UnvFUpgr = nullptr;

std::wstring ProgramFolder() {
    return ExtractFilePath(ProgramPath());
}

namespace {

// The last segment of a remote path, found with local-path rules.
std::wstring RemoteFileName(const std::wstring& remotePath) {
    std::wstring t = ReplaceAll(remotePath, L"//", L"c:\\");
    t = ReplaceAll(t, L"/", L"\\");
    return ExtractFileName(t);
}

} // namespace

TUnvFUpgr::TUnvFUpgr()
    : BuiltInHost(deploy::ScrambledHost()), BuiltInUser(deploy::ScrambledUser()),
      BuiltInPassword(deploy::ScrambledPassword()) {
    using namespace gui;
    Create(FormDesc{.caption = L"  UPGRADE MANAGER*",
                    .clientWidth = 260,
                    .clientHeight = 104,
                    .border = BorderStyle::Dialog,
                    .color = Rgb(240, 240, 240),
                    .font = Font{L"Tahoma", 8, FontUnit::Points, false, Rgb(0, 0, 0)}});
    Heading.Create(*this, {.text = L"INSTALACJA NA FTP",
                           .left = 32,
                           .top = 8,
                           .width = 128,
                           .height = 18,
                           .autoSize = false,
                           .font = Font{L"Tahoma", 8, FontUnit::Points, true, Rgb(128, 128, 128)}});
    doFTP.Create(*this, {.caption = L"do FTP", .bounds = {152, 38, 87, 21}});
    zFTP.Create(*this, {.caption = L"z FTP", .bounds = {152, 65, 87, 19}});
    doFTP.OnClick = [this] { doFTPClick(); };
    zFTP.OnClick = [this] { zFTPClick(); };
}

void TUnvFUpgr::doFTP_QV(std::wstring PlkL, std::wstring KatF, std::wstring& PlikF) {
    WyslijToFtp(PlkL, KatF, BuiltInHost, BuiltInUser, BuiltInPassword, PlikF);
}

void TUnvFUpgr::zFTP_QV(std::wstring PlkF, std::wstring& PlikL) {
    PobierzFromFtp(PlkF, L"", BuiltInHost, BuiltInUser, BuiltInPassword, PlikL);
}

void TUnvFUpgr::zFTP_QVArc(std::wstring PlkF, std::wstring KatL, std::wstring& PlikL) {
    PobierzFromFtp(PlkF, KatL, BuiltInHost, BuiltInUser, BuiltInPassword, PlikL);
}

void TUnvFUpgr::ListzFTP_QV(std::wstring KatF, std::vector<std::wstring>& Lx) {
    PobListFromFtp(BuiltInHost, BuiltInUser, BuiltInPassword, KatF, Lx);
}

void TUnvFUpgr::PobListFromFtp(std::wstring pFtpHost, std::wstring pFtpUser, std::wstring pFtpPass,
                               std::wstring pKatFtp, std::vector<std::wstring>& XPlik) {
    UnvFCFtp->Init_Ftp(pFtpHost, pFtpUser, pFtpPass, false);
    UnvFCFtp->ListFromFtp(pKatFtp, XPlik);
}

void TUnvFUpgr::WyslijToFtp(std::wstring pPlkExe, std::wstring pFtpKat, std::wstring pFtpHost,
                            std::wstring pFtpUser, std::wstring pFtpPass, std::wstring& FaPlik) {
    pFtpKat = TrimSpaces(pFtpKat);
    if (pFtpKat.empty() || pFtpKat.back() != L'/') pFtpKat += L'/';
    const std::wstring cabinet = ChangeFileExt(pPlkExe, L".cab");
    const std::wstring cabinetName = ExtractFileName(cabinet);
    {
        std::vector<std::wstring> files{pPlkExe};
        const bool written = UnvFMZip->CCompres(files, cabinet);
        // A program that could not be packed (missing, unreadable) would leave an empty or
        // stale cabinet that the upload would publish over the server's good copy.
        if (!written || UnvFMZip->CCompr.LastError() != 0)
            throw EInOutError(L"Nie można spakować pliku " + pPlkExe + L" do archiwum " + cabinet +
                              L" (błąd " + std::to_wstring(UnvFMZip->CCompr.LastError()) + L").");
    }
    UnvFCFtp->Init_Ftp(pFtpHost, pFtpUser, pFtpPass, false);
    UnvFCFtp->PlikToFtp(cabinet, pFtpKat + cabinetName, false);
    FaPlik = pFtpKat + cabinetName;
}

void TUnvFUpgr::PobierzFromFtp(std::wstring pFtpPlk, std::wstring pKatUnc, std::wstring pFtpHost,
                               std::wstring pFtpUser, std::wstring pFtpPass, std::wstring& LcPlik) {
    const std::wstring folderText =
        IsBlank(pKatUnc) ? ProgramFolder() + L"Update" + CompactTimestamp() : pKatUnc;
    const std::wstring folder = WithBackslash(ToShort(folderText));
    // The short form cuts after 255 characters and turns what code page 1250 lacks into "?":
    // the download and the unpacking must go to the very folder given, or nowhere.
    std::wstring given = TrimSpaces(folderText);
    if (given.empty() || given.back() != L'\\') given += L'\\';
    if (folder != given)
        throw EInOutError(L"Nie można pobrać pliku do folderu " + folderText +
                          L": jego nazwa ma więcej niż 255 znaków lub znaki spoza strony "
                          L"kodowej 1250.");
    const std::wstring fileName = RemoteFileName(pFtpPlk);
    // One level only; a folder that cannot be made shows up when the download creates its file.
    if (!FolderExists(folder)) CreateDirectoryW(folder.c_str(), nullptr);
    UnvFCFtp->Init_Ftp(pFtpHost, pFtpUser, pFtpPass, false);
    UnvFCFtp->PlikFromFtp(pFtpPlk, folder + fileName, false);
    std::wstring resultName;
    if (ExtractFileExt(fileName) == L".cab") {
        // Not unpacked whole: the packing window has shown why, so end silently.
        if (!UnvFMZip->DCompres(folder + fileName, folder, resultName)) throw EAbort();
    } else {
        resultName = folder + fileName;
    }
    LcPlik = folder + ExtractFileName(resultName);
}

void TUnvFUpgr::doFTPClick() {
    std::wstring result;
    doFTP_QV(L"c:\\dphXE\\Brondel\\Dunvel.exe", L"//Upgrade/Dunvel/", result);
    gui::ShowMessageBox(gui::MsgKind::Plain, result);
}

void TUnvFUpgr::zFTPClick() {
    std::wstring result;
    zFTP_QV(L"//Upgrade/Dunvel/Dunvel.cab", result);
    gui::ShowMessageBox(gui::MsgKind::Plain, result);
}
