// Creates the program's six windows as the program does and shows the one named on the
// command line (UnvFCFtp, UnvFMZip, UnvFUpgr, UpgFqvx, UpgFFtpL) as the main window, so
// that a screenshot can show it; closing it ends the helper. With "InputDialog" it runs the
// upgrade transfer window's text-input dialog modally and ends with 0 when "abc" was
// confirmed, 2 when it was cancelled, 1 otherwise. With "Guard" it shows a window "guard"
// whose button fails on every click, so the failure must reach the error box through the
// window procedure and the loop must go on.

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <string>

#include "app/Startup.h"
#include "app/Vyt_Main.h"
#include "gui/Button.h"
#include "util/Errors.h"
#include "ftp/Unv_CFtp.h"
#include "gui/Application.h"
#include "pack/Unv_MZip.h"
#include "upgrade/Unv_Upgr.h"
#include "upgrade/Upg_FtpL.h"
#include "upgrade/UpguQvx.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    FixStartFormats();
    INITCOMMONCONTROLSEX icc{sizeof icc,
                             ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::wstring which = argc > 1 ? argv[1] : L"";
    LocalFree(argv);
    gui::Application& app = gui::Application::Instance();
    CreateWindowSet(app);
    if (which == L"Guard") {
        gui::Form form;
        form.Create({.caption = L"guard", .clientWidth = 200, .clientHeight = 100});
        gui::Button fail;
        fail.Create(form, {.caption = L"Błąd", .bounds = {10, 10, 75, 25}});
        fail.OnClick = [] { throw Error(L"Celowy błąd obsługi zdarzenia"); };
        app.SetMainForm(&form);
        app.Run();
        app.SetMainForm(nullptr);
        app.DestroyForms();
        return 0;
    }
    if (which == L"InputDialog") {
        UpgFqvx->InpDlg.caption = L"DANE Z FTP";
        UpgFqvx->InpDlg.prompt = L"Wpisz nazwę katalogu na FTP...";
        bool ok = UpgFqvx->InpDlg.Execute();
        int code = !ok ? 2 : UpgFqvx->InpDlg.Value() == L"abc" ? 0 : 1;
        app.DestroyForms();
        return code;
    }
    gui::Form* shown = which == L"UnvFCFtp"   ? static_cast<gui::Form*>(UnvFCFtp)
                       : which == L"UnvFMZip" ? static_cast<gui::Form*>(UnvFMZip)
                       : which == L"UnvFUpgr" ? static_cast<gui::Form*>(UnvFUpgr)
                       : which == L"UpgFqvx"  ? static_cast<gui::Form*>(UpgFqvx)
                       : which == L"UpgFFtpL" ? static_cast<gui::Form*>(UpgFFtpL)
                                              : static_cast<gui::Form*>(VytFMain);
    app.SetMainForm(shown);
    app.Run();
    app.DestroyForms();
    return 0;
}
