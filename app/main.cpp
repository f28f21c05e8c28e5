// The program's entry: fixed date and time formats, the six windows created hidden with the
// main window first, then the message loop until the main window closes.

#include <windows.h>

#include <commctrl.h>

#include "app/Vyt_Main.h"
#include "ftp/Unv_CFtp.h"
#include "gui/Application.h"
#include "pack/Unv_MZip.h"
#include "upgrade/Unv_Upgr.h"
#include "upgrade/Upg_FtpL.h"
#include "upgrade/UpguQvx.h"
#include "util/Bleeper.h"
#include "util/DateTime.h"

namespace {

// The regional time separator; ":" when the setting cannot be read.
wchar_t RegionalTimeSeparator() {
    wchar_t sep[8] = {};
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, sep, 8) > 0 && sep[0]) return sep[0];
    return L':';
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The tone unit decided the platform family before WinMain; reading the flag keeps
    // that unit, and so its start-up step, in the program.
    volatile bool nt = IsNtPlatform;
    (void)nt;
    FixStartupFormats(RegionalTimeSeparator());

    INITCOMMONCONTROLSEX icc{sizeof icc,
                             ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    gui::Application& app = gui::Application::Instance();
    app.SetBackend(gui::Backend::Win32);
    int exitCode = 0;
    try {
        // The first form created is the main form and owns the task-bar button.
        app.CreateForm(VytFMain);
        app.CreateForm(UpgFqvx);
        app.CreateForm(UnvFUpgr);
        app.CreateForm(UpgFFtpL);
        app.CreateForm(UnvFMZip);
        app.CreateForm(UnvFCFtp);
        app.Run();
    } catch (...) {
        app.HandleException(std::current_exception());
        exitCode = 1;
    }
    app.DestroyForms();
    return exitCode;
}
