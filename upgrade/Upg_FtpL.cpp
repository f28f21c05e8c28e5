#include "upgrade/Upg_FtpL.h"

#include "deploy/Deployment.h"
#include "util/pres.h"

TUpgFFtpL* UpgFFtpL = nullptr;

TUpgFFtpL::TUpgFFtpL() : KeyA(deploy::KeyA()), KeyB(deploy::KeyB()) {
    using namespace gui;
    Create(FormDesc{.caption = L"UpgFFtpL*",
                    .clientWidth = 169,
                    .clientHeight = 268,
                    .border = BorderStyle::Sizeable,
                    .minMaxButtons = true,
                    .color = Rgb(240, 240, 240)});
    LBx.Create(*this, {.bounds = {0, 0, 169, 239}, .align = Align::Top});

    IdFTP1.Passive = false;
    IdFTP1.TransferType = ftBinary;
    IdFTP1.Port = deploy::kFtpPort;
    IdFTP1.ConnectTimeout = 0;
    IdFTP1.ReadTimeout = kFolderListReadTimeoutMs;
    IdFTP1.TransferTimeout = kFolderListDataTimeoutMs;
}

void TUpgFFtpL::Run_Modul(std::wstring FldFtp, std::wstring FHst, std::wstring FUsr,
                          std::wstring FPss) {
    (void)FldFtp;
    const ShortString keyA = ToShort(KeyA);
    const ShortString keyB = ToShort(KeyB);
    IdFTP1.Username = FromShort(UnscrambleText(ToShort(FUsr), keyA, true));
    IdFTP1.Password = FromShort(UnscrambleText(ToShort(FPss), keyB, true));
    IdFTP1.Host = FromShort(UnscrambleText(ToShort(FHst), keyA, true));
    IdFTP1.Connect();
    try {
        ShowModal();
    } catch (...) {
        try {
            IdFTP1.Disconnect();
        } catch (...) {
        }
        throw;
    }
    IdFTP1.Disconnect();
}
