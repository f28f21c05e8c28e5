#include "gui/Panel.h"

#include "gui/Native.h"

namespace gui {

void Panel::Create(Control& parent, const PanelDesc& desc) {
    color_ = desc.color;
    font_ = desc.font;
    bevel_ = desc.bevel;
    Attach(&parent, desc.bounds, desc.align);
    CreateNative(detail::kWindowClass, L"", WS_CLIPCHILDREN, WS_EX_CONTROLPARENT);
}

bool Panel::OnNativeMessage(unsigned msg, std::uintptr_t wp, std::intptr_t, std::intptr_t& result) {
    if (msg != WM_ERASEBKGND) return false;
    HWND h = detail::Hwnd(*this);
    HDC dc = reinterpret_cast<HDC>(wp);
    RECT r;
    GetClientRect(h, &r);
    FillRect(dc, &r, detail::BrushFor(Background()));
    if (bevel_) DrawEdge(dc, &r, BDR_RAISEDINNER, BF_RECT);
    result = 1;
    return true;
}

} // namespace gui
