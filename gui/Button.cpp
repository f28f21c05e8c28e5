#include "gui/Button.h"

#include "gui/Application.h"
#include "gui/Native.h"

namespace gui {

void Button::Create(Control& parent, const ButtonDesc& desc) {
    caption_ = desc.caption;
    flat_ = desc.flat;
    visible_ = desc.visible;
    font_ = desc.font;
    Attach(&parent, desc.bounds);
    CreateNative(detail::kWindowClass, caption_, WS_TABSTOP);
}

void Button::SetCaption(const std::wstring& caption) {
    caption_ = caption;
    Invalidate();
}

void Button::Click() {
    if (visible_ && EnabledWithParents() && OnClick) Guarded(OnClick);
}

void Button::Paint() {
    HWND h = detail::Hwnd(*this);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(h, &ps);
    RECT r;
    GetClientRect(h, &r);
    Color back = Background();
    if (!flat_) back = Rgb(225, 225, 225);
    if (hot_ && enabled_) back = flat_ ? Rgb(229, 241, 251) : Rgb(229, 241, 251);
    FillRect(dc, &r, detail::BrushFor(back));
    if (!flat_ || hot_ || pressed_) {
        HBRUSH frame = detail::BrushFor(hot_ ? Rgb(0, 120, 215) : Rgb(173, 173, 173));
        FrameRect(dc, &r, frame);
    }
    Font f = EffectiveFont();
    HGDIOBJ old = SelectObject(dc, detail::FontHandle(f, Dpi()));
    SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, enabled_ ? detail::Ref(f.color) : GetSysColor(COLOR_GRAYTEXT));
    if (pressed_) OffsetRect(&r, 1, 1);
    DrawTextW(dc, caption_.c_str(), static_cast<int>(caption_.size()), &r,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
    if (GetFocus() == h) {
        RECT fr = r;
        InflateRect(&fr, -Scale(3), -Scale(3));
        DrawFocusRect(dc, &fr);
    }
    EndPaint(h, &ps);
}

bool Button::OnNativeMessage(unsigned msg, std::uintptr_t wp, std::intptr_t lp,
                             std::intptr_t& result) {
    HWND h = detail::Hwnd(*this);
    switch (msg) {
    case WM_ERASEBKGND:
        result = 1;
        return true;
    case WM_PAINT:
        Paint();
        return true;
    case WM_MOUSEMOVE:
        if (!hot_) {
            hot_ = true;
            TRACKMOUSEEVENT t{sizeof t, TME_LEAVE, h, 0};
            TrackMouseEvent(&t);
            Invalidate();
        }
        return false;
    case WM_MOUSELEAVE:
        hot_ = false;
        pressed_ = false;
        Invalidate();
        return true;
    case WM_LBUTTONDOWN:
        pressed_ = true;
        SetCapture(h);
        SetFocus(h);
        Invalidate();
        return true;
    case WM_LBUTTONUP: {
        bool wasPressed = pressed_;
        pressed_ = false;
        ReleaseCapture();
        Invalidate();
        POINT p{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
        RECT r;
        GetClientRect(h, &r);
        if (wasPressed && PtInRect(&r, p)) Click();
        return true;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        Invalidate();
        return false;
    case WM_GETDLGCODE:
        result = DLGC_BUTTON;
        return true;
    case WM_KEYUP:
        if (wp == VK_SPACE || wp == VK_RETURN) {
            Click();
            return true;
        }
        return false;
    default:
        return false;
    }
}

} // namespace gui
