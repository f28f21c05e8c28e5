// The program's entry: fixed date and time formats, the six windows created hidden with the
// main window first, then the message loop until the main window closes.

#include <windows.h>

#include <commctrl.h>

#include "app/Startup.h"
#include "gui/Application.h"
#include "util/Bleeper.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The tone unit decided the platform family before WinMain; reading the flag keeps
    // that unit, and so its start-up step, in the program.
    volatile bool nt = IsNtPlatform;
    (void)nt;
    FixStartFormats();

    INITCOMMONCONTROLSEX icc{sizeof icc,
                             ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    gui::Application& app = gui::Application::Instance();
    app.SetBackend(gui::Backend::Win32);
    int exitCode = 0;
    try {
        CreateWindowSet(app);
        app.Run();
    } catch (...) {
        app.HandleException(std::current_exception());
        exitCode = 1;
    }
    app.DestroyForms();
    return exitCode;
}
