#pragma once
// The FTP folder list window: a list box over a logged-in FTP connection of its own.

#include "gui/Form.h"
#include "gui/ListBox.h"

class TUpgFFtpL : public gui::Form {
public:
    TUpgFFtpL();

    gui::ListBox LBx;
    // TODO(upgrade): the window's own FTP client IdFTP1 (ftp/FtpClient.h, passive off), its
    // copies of the two key texts and the operation Run_Modul.
};

extern TUpgFFtpL* UpgFFtpL;
