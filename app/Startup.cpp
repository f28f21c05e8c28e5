#include "app/Startup.h"

#include <windows.h>

#include "app/Vyt_Main.h"
#include "ftp/Unv_CFtp.h"
#include "pack/Unv_MZip.h"
#include "upgrade/Unv_Upgr.h"
#include "upgrade/Upg_FtpL.h"
#include "upgrade/UpguQvx.h"
#include "util/DateTime.h"

wchar_t RegionalTimeSeparator() {
    wchar_t sep[8] = {};
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, sep, 8) > 0 && sep[0]) return sep[0];
    return L':';
}

void FixStartFormats() {
    FixStartupFormats(RegionalTimeSeparator());
}

void CreateWindowSet(gui::Application& app) {
    // The show event of the main window relies on every window existing.
    app.CreateForm(VytFMain);
    app.CreateForm(UpgFqvx);
    app.CreateForm(UnvFUpgr);
    app.CreateForm(UpgFFtpL);
    app.CreateForm(UnvFMZip);
    app.CreateForm(UnvFCFtp);
}
