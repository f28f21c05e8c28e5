#pragma once
// The upgrade manager's window: its operations are called directly; the window itself only
// carries two test buttons.

#include "gui/Button.h"
#include "gui/Form.h"
#include "gui/Label.h"

class TUnvFUpgr : public gui::Form {
public:
    TUnvFUpgr();

    gui::Label Heading;
    gui::Button doFTP;
    gui::Button zFTP;

    void doFTPClick();
    void zFTPClick();
    // TODO(upgrade): doFTP_QV, zFTP_QV, zFTP_QVArc, ListzFTP_QV, PobListFromFtp,
    // WyslijToFtp, PobierzFromFtp and the built-in scrambled credentials.
};

extern TUnvFUpgr* UnvFUpgr;
