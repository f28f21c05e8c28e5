#include "gui/Separator.h"

#include "gui/Native.h"

namespace gui {

void Separator::Create(Control& parent, const SeparatorDesc& desc) {
    Attach(&parent, Rect{desc.left, desc.top, desc.width, 2});
    CreateNative(detail::kWindowClass, L"", 0);
}

bool Separator::OnNativeMessage(unsigned msg, std::uintptr_t wp, std::intptr_t,
                                std::intptr_t& result) {
    if (msg != WM_ERASEBKGND) return false;
    HDC dc = reinterpret_cast<HDC>(wp);
    RECT r;
    GetClientRect(detail::Hwnd(*this), &r);
    FillRect(dc, &r, detail::BrushFor(Background()));
    DrawEdge(dc, &r, EDGE_ETCHED, BF_TOP);
    result = 1;
    return true;
}

} // namespace gui
