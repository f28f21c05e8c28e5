// Shows the upgrade module windows on screen for screenshots, since nothing in the tool
// shows them on its own:
//   upgrade_screens fetch | send      the upgrade transfer window on that page (modal)
//   upgrade_screens manager           the upgrade manager's window
//   upgrade_screens publish FILE PORT doFTP_QV of FILE into //Upgrade/Pokaz/ on the server
//                                     at 127.0.0.1:PORT: the packing window, then the
//                                     transfer window, as they show during the work
// Each ends when its window is closed (publish: when the work is done).

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <string>

#include "app/Startup.h"
#include "ftp/Unv_CFtp.h"
#include "gui/Application.h"
#include "upgrade/Unv_Upgr.h"
#include "upgrade/UpguQvx.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    FixStartFormats();
    INITCOMMONCONTROLSEX icc{sizeof icc,
                             ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const std::wstring which = argc > 1 ? argv[1] : L"";
    const std::wstring file = argc > 2 ? argv[2] : L"";
    const int port = argc > 3 ? _wtoi(argv[3]) : 0;
    LocalFree(argv);

    gui::Application& app = gui::Application::Instance();
    CreateWindowSet(app);
    int code = 0;
    if (which == L"fetch") {
        UpgFqvx->Run_Modul(orwRead, L"//Upgrade/Dunvel/Dunvel.cab", L"d:\\x", false, true);
    } else if (which == L"send") {
        UpgFqvx->Run_Modul(orwWrite, L"c:\\dphXE\\Brondel\\Dunvel.exe", L"//Upgrade/Dunvel/", false,
                           false);
    } else if (which == L"manager") {
        app.SetMainForm(UnvFUpgr);
        app.Run();
    } else if (which == L"publish") {
        UnvFCFtp->IdFTP1.Port = static_cast<std::uint16_t>(port);
        std::wstring published;
        gui::Guarded([&] { UnvFUpgr->doFTP_QV(file, L"//Upgrade/Pokaz/", published); });
        code = published.empty() ? 1 : 0;
    } else {
        code = 2;
    }
    app.DestroyForms();
    return code;
}
