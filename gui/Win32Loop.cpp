#include "gui/Win32Loop.h"

namespace gui::detail {

void DispatchLoopMessage(MSG& msg) {
    if (msg.hwnd) {
        HWND root = GetAncestor(msg.hwnd, GA_ROOT);
        if (root && GetPropW(root, kFormProperty) && IsDialogMessageW(root, &msg)) return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

} // namespace gui::detail
