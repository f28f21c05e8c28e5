#include "gui/Label.h"

#include "gui/Application.h"
#include "gui/Native.h"

namespace gui {

void Label::Create(Control& parent, const LabelDesc& desc) {
    text_ = desc.text;
    autoSize_ = desc.autoSize;
    align_text_ = desc.align;
    font_ = desc.font;
    Attach(&parent, Rect{desc.left, desc.top, desc.width, desc.height});
    CreateNative(detail::kWindowClass, L"", 0);
    FitToText();
}

void Label::SetText(const std::wstring& text) {
    if (text == text_) return;
    text_ = text;
    FitToText();
    Invalidate();
}

void Label::SetTextColor(Color color) {
    Font f = EffectiveFont();
    f.color = color;
    font_ = f;
    Invalidate();
}

void Label::Click() {
    if (EnabledWithParents() && OnClick) Guarded(OnClick);
}

void Label::FitToText() {
    if (!autoSize_) return;
    HWND h = detail::Hwnd(*this);
    if (!h) {
        // Headless: a rough measure, enough for layout checks.
        Font f = EffectiveFont();
        int px = f.unit == FontUnit::Pixels ? f.size : f.size * 96 / 72;
        bounds_.width = static_cast<int>(text_.size()) * px * 55 / 100;
        bounds_.height = px + px / 4 + 1;
        return;
    }
    HDC dc = GetDC(h);
    HGDIOBJ old = SelectObject(dc, detail::FontHandle(EffectiveFont(), Dpi()));
    RECT r{0, 0, 0, 0};
    std::wstring measured = text_.empty() ? L" " : text_;
    DrawTextW(dc, measured.c_str(), static_cast<int>(measured.size()), &r,
              DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(h, dc);
    int dpi = Dpi();
    SetBounds(
        Rect{bounds_.left, bounds_.top, MulDiv(r.right, 96, dpi) + 1, MulDiv(r.bottom, 96, dpi)});
}

bool Label::OnNativeMessage(unsigned msg, std::uintptr_t, std::intptr_t, std::intptr_t& result) {
    HWND h = detail::Hwnd(*this);
    switch (msg) {
    case WM_ERASEBKGND:
        result = 1;
        return true;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        RECT r;
        GetClientRect(h, &r);
        FillRect(dc, &r, detail::BrushFor(Background()));
        Font f = EffectiveFont();
        HGDIOBJ old = SelectObject(dc, detail::FontHandle(f, Dpi()));
        SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, enabled_ ? detail::Ref(f.color) : GetSysColor(COLOR_GRAYTEXT));
        UINT align = align_text_ == TextAlign::Center  ? DT_CENTER
                     : align_text_ == TextAlign::Right ? DT_RIGHT
                                                       : DT_LEFT;
        DrawTextW(dc, text_.c_str(), static_cast<int>(text_.size()), &r,
                  align | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
        SelectObject(dc, old);
        EndPaint(h, &ps);
        result = 0;
        return true;
    }
    case WM_LBUTTONUP:
        Click();
        result = 0;
        return true;
    default:
        return false;
    }
}

} // namespace gui
