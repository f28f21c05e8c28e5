#pragma once
// The FTP transfer window: a small always-on-top progress window with the local and remote
// paths of the running transfer and its progress bar.

#include "gui/Form.h"
#include "gui/Label.h"
#include "gui/ProgressBar.h"

class TUnvFCFtp : public gui::Form {
public:
    TUnvFCFtp();

    gui::Label L_FNaz;
    gui::Label L_FDst;
    // TODO(ftp): the window's FTP client IdFTP1 (ftp/FtpClient.h) with its progress
    // handlers IdFTP1Work and IdFTP1WorkBegin.
    gui::ProgressBar PBarF;

    // TODO(ftp): the credentials Hst, Usr, Pas and the operations Init_Ftp, PlikFromFtp,
    // PlikToFtp, ListFromFtp, Utwrz_Folder, Utwrz_FolderD.
};

extern TUnvFCFtp* UnvFCFtp;
