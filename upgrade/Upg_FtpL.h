#pragma once
// The FTP folder list window: a list box over a logged-in FTP connection of its own, open
// only while the window is shown.

#include <string>

#include "ftp/FtpClient.h"
#include "gui/Form.h"
#include "gui/ListBox.h"

// The time-outs of the folder list window's client, as the transfer window's: a whole
// reply, and each receive or send of a data connection.
inline constexpr int kFolderListReadTimeoutMs = 60000;
inline constexpr int kFolderListDataTimeoutMs = 60000;

class TUpgFFtpL : public gui::Form {
public:
    TUpgFFtpL();

    gui::ListBox LBx;
    // The window's own client: active mode, no progress events.
    FtpClient IdFTP1;

    // Unscrambles the credentials, connects and logs in, shows the window modally and
    // disconnects when the show ends, on every path. A failure to connect or log in passes
    // to the caller and the window is not shown. FldFtp has no effect.
    void Run_Modul(std::wstring FldFtp, std::wstring FHst, std::wstring FUsr, std::wstring FPss);

private:
    // The two key texts of the text-key mode: A for the user name and the server address,
    // B for the password.
    const std::wstring KeyA;
    const std::wstring KeyB;
};

extern TUpgFFtpL* UpgFFtpL;
