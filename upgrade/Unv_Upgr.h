#pragma once
// The upgrade manager's window: its operations are called directly; the window itself only
// carries two test buttons. Every operation chains the packing window and the FTP transfer
// window; a result parameter is written as the last step, so after a failure the caller's
// variable keeps its previous value.

#include <string>
#include <vector>

#include "gui/Button.h"
#include "gui/Form.h"
#include "gui/Label.h"

// The folder of the program's own executable file, ending in "\".
std::wstring ProgramFolder();

class TUnvFUpgr : public gui::Form {
public:
    TUnvFUpgr();

    gui::Label Heading;
    gui::Button doFTP;
    gui::Button zFTP;

    // The built-in server address, user name and password, scrambled for the text-key mode
    // of Init_Ftp; they become plain text only inside the transfer window.
    const std::wstring BuiltInHost;
    const std::wstring BuiltInUser;
    const std::wstring BuiltInPassword;

    // WyslijToFtp with the built-in credentials.
    void doFTP_QV(std::wstring PlkL, std::wstring KatF, std::wstring& PlikF);
    // PobierzFromFtp into a new update folder, with the built-in credentials.
    void zFTP_QV(std::wstring PlkF, std::wstring& PlikL);
    // PobierzFromFtp into the given local folder, with the built-in credentials.
    void zFTP_QVArc(std::wstring PlkF, std::wstring KatL, std::wstring& PlikL);
    // PobListFromFtp with the built-in credentials.
    void ListzFTP_QV(std::wstring KatF, std::vector<std::wstring>& Lx);

    // Appends the entry names of the remote folder to XPlik (not cleared first).
    void PobListFromFtp(std::wstring pFtpHost, std::wstring pFtpUser, std::wstring pFtpPass,
                        std::wstring pKatFtp, std::vector<std::wstring>& XPlik);
    // Packs pPlkExe into a cabinet beside it and uploads it into the remote folder; FaPlik
    // receives the remote archive path.
    void WyslijToFtp(std::wstring pPlkExe, std::wstring pFtpKat, std::wstring pFtpHost,
                     std::wstring pFtpUser, std::wstring pFtpPass, std::wstring& FaPlik);
    // Fetches the remote file into the local folder (a new "Update" + timestamp folder
    // beside the executable when blank) and unpacks a ".cab"; LcPlik receives the local
    // result path. A cabinet that does not unpack whole ends it with EAbort after the packing
    // window's error box; the downloaded archive stays.
    void PobierzFromFtp(std::wstring pFtpPlk, std::wstring pKatUnc, std::wstring pFtpHost,
                        std::wstring pFtpUser, std::wstring pFtpPass, std::wstring& LcPlik);

    void doFTPClick();
    void zFTPClick();
};

extern TUnvFUpgr* UnvFUpgr;
