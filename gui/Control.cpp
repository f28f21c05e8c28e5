#include "gui/Control.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "gui/Application.h"
#include "gui/Form.h"
#include "gui/Native.h"

namespace gui {

namespace detail {

namespace {

constexpr wchar_t kControlProperty[] = L"korekta.control";

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        BindControl(hwnd, static_cast<Control*>(cs->lpCreateParams));
    }
    Control* control = ControlFromHwnd(hwnd);
    if (control) {
        bool handled = false;
        LRESULT result = Shielded([&]() -> LRESULT {
            std::intptr_t r = 0;
            // Notifications of a child go to the child's component.
            HWND child = nullptr;
            unsigned code = 0;
            if (msg == WM_COMMAND && lp) {
                child = reinterpret_cast<HWND>(lp);
                code = HIWORD(wp);
            } else if (msg == WM_NOTIFY) {
                auto* hdr = reinterpret_cast<NMHDR*>(lp);
                child = hdr->hwndFrom;
                code = hdr->code;
            } else if (msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC) {
                child = reinterpret_cast<HWND>(lp);
            }
            if (child && child != hwnd) {
                if (Control* target = ControlFromHwnd(child)) {
                    if (target->OnNotification(msg, code, wp, lp, r)) {
                        handled = true;
                        return r;
                    }
                }
            }
            if (control->OnNativeMessage(msg, wp, lp, r)) {
                handled = true;
                return r;
            }
            return 0;
        });
        if (handled) return result;
    }
    if (msg == WM_NCDESTROY) BindControl(hwnd, nullptr);
    return DefWindowProcW(hwnd, msg, wp, lp);
}

} // namespace

void RegisterWindowClass() {
    static bool done = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(1));
        if (!wc.hIcon) wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
        wc.lpszClassName = kWindowClass;
        return RegisterClassExW(&wc) != 0;
    }();
    (void)done;
}

Control* ControlFromHwnd(HWND hwnd) {
    return static_cast<Control*>(GetPropW(hwnd, kControlProperty));
}

void BindControl(HWND hwnd, Control* control) {
    if (control)
        SetPropW(hwnd, kControlProperty, control);
    else
        RemovePropW(hwnd, kControlProperty);
}

HFONT FontHandle(const Font& font, int dpi) {
    using Key = std::tuple<std::wstring, int, int, bool, int>;
    static std::map<Key, HFONT> cache;
    Key key{font.name, font.size, static_cast<int>(font.unit), font.bold, dpi};
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
    LOGFONTW lf{};
    lf.lfHeight =
        font.unit == FontUnit::Pixels ? -MulDiv(font.size, dpi, 96) : -MulDiv(font.size, dpi, 72);
    lf.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = CLEARTYPE_QUALITY;
    lstrcpynW(lf.lfFaceName, font.name.c_str(), LF_FACESIZE);
    HFONT h = CreateFontIndirectW(&lf);
    cache.emplace(key, h);
    return h;
}

HBRUSH BrushFor(Color color) {
    static std::map<COLORREF, HBRUSH> cache;
    COLORREF ref = Ref(color);
    auto it = cache.find(ref);
    if (it != cache.end()) return it->second;
    HBRUSH b = CreateSolidBrush(ref);
    cache.emplace(ref, b);
    return b;
}

int DpiForWindow(HWND hwnd) {
    using Fn = UINT(WINAPI*)(HWND);
    static Fn fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (fn && hwnd) {
        UINT dpi = fn(hwnd);
        if (dpi) return static_cast<int>(dpi);
    }
    HDC dc = GetDC(nullptr);
    int dpi = GetDeviceCaps(dc, LOGPIXELSX);
    ReleaseDC(nullptr, dc);
    return dpi > 0 ? dpi : 96;
}

BOOL AdjustRectForDpi(RECT* rect, DWORD style, DWORD exStyle, int dpi) {
    using Fn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static Fn fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
    if (fn) return fn(rect, style, FALSE, exStyle, static_cast<UINT>(dpi));
    return AdjustWindowRectEx(rect, style, FALSE, exStyle);
}

} // namespace detail

Control::~Control() {
    if (parent_) {
        auto& sib = parent_->children_;
        sib.erase(std::remove(sib.begin(), sib.end(), this), sib.end());
    }
    for (Control* child : children_)
        child->parent_ = nullptr;
    if (hwnd_) {
        HWND h = static_cast<HWND>(hwnd_);
        detail::BindControl(h, nullptr);
        if (IsWindow(h)) DestroyWindow(h);
    }
}

Form* Control::OwnerForm() const {
    const Control* c = this;
    while (c->parent_)
        c = c->parent_;
    return dynamic_cast<Form*>(const_cast<Control*>(c));
}

void Control::Attach(Control* parent, const Rect& bounds, Align align) {
    parent_ = parent;
    bounds_ = bounds;
    align_ = align;
    if (parent_) {
        parent_->children_.push_back(this);
        if (align_ != Align::None) parent_->RealignChildren();
    }
}

void Control::RealignChildren() {
    int top = 0, bottom = ClientHeight();
    for (Control* c : children_) {
        Rect b = c->bounds_;
        if (c->align_ == Align::Top) {
            b = Rect{0, top, ClientWidth(), b.height};
            top += b.height;
        } else if (c->align_ == Align::Bottom) {
            bottom -= b.height;
            b = Rect{0, bottom, ClientWidth(), b.height};
        } else {
            continue;
        }
        if (!(b == c->bounds_)) c->SetBounds(b);
    }
    for (Control* c : children_)
        if (c->align_ == Align::Client) {
            Rect b{0, top, ClientWidth(), bottom > top ? bottom - top : 0};
            if (!(b == c->bounds_)) c->SetBounds(b);
        }
}

void* Control::NativeParentFor(const Control&) const {
    return hwnd_;
}

void Control::CreateNative(const wchar_t* windowClass, const std::wstring& text,
                           unsigned long style, unsigned long exStyle) {
    if (Application::Instance().IsHeadless() || !parent_) return;
    HWND parentHwnd = static_cast<HWND>(parent_->NativeParentFor(*this));
    if (!parentHwnd) return;
    detail::RegisterWindowClass();
    style |=
        WS_CHILD | WS_CLIPSIBLINGS | (visible_ ? WS_VISIBLE : 0) | (enabled_ ? 0 : WS_DISABLED);
    HWND h = CreateWindowExW(exStyle, windowClass, text.c_str(), style, Scale(bounds_.left),
                             Scale(bounds_.top), Scale(bounds_.width), Scale(bounds_.height),
                             parentHwnd, nullptr, GetModuleHandleW(nullptr), this);
    if (!h) return;
    hwnd_ = h;
    detail::BindControl(h, this);
    ApplyFont();
}

void Control::ApplyFont() {
    if (!hwnd_) return;
    HFONT f = detail::FontHandle(EffectiveFont(), Dpi());
    hfont_ = f;
    SendMessageW(static_cast<HWND>(hwnd_), WM_SETFONT, reinterpret_cast<WPARAM>(f), TRUE);
}

void Control::Invalidate() {
    if (hwnd_) InvalidateRect(static_cast<HWND>(hwnd_), nullptr, TRUE);
}

void Control::ApplyDpi() {
    if (hwnd_ && parent_) {
        SetWindowPos(static_cast<HWND>(hwnd_), nullptr, Scale(bounds_.left), Scale(bounds_.top),
                     Scale(bounds_.width), Scale(bounds_.height), SWP_NOZORDER | SWP_NOACTIVATE);
        ApplyFont();
    }
    for (Control* child : children_)
        child->ApplyDpi();
    Invalidate();
}

void Control::SetBounds(const Rect& bounds) {
    bounds_ = bounds;
    if (hwnd_ && parent_)
        SetWindowPos(static_cast<HWND>(hwnd_), nullptr, Scale(bounds_.left), Scale(bounds_.top),
                     Scale(bounds_.width), Scale(bounds_.height), SWP_NOZORDER | SWP_NOACTIVATE);
    Resized();
}

void Control::SetVisible(bool visible) {
    visible_ = visible;
    if (hwnd_) ShowWindow(static_cast<HWND>(hwnd_), visible ? SW_SHOWNA : SW_HIDE);
}

void Control::SetEnabled(bool enabled) {
    enabled_ = enabled;
    if (hwnd_) EnableWindow(static_cast<HWND>(hwnd_), enabled);
}

bool Control::EnabledWithParents() const {
    for (const Control* c = this; c; c = c->parent_)
        if (!c->enabled_) return false;
    return true;
}

Font Control::EffectiveFont() const {
    for (const Control* c = this; c; c = c->parent_)
        if (c->font_) return *c->font_;
    return Font{};
}

void Control::SetFont(const Font& font) {
    font_ = font;
    ApplyFont();
    Invalidate();
}

Color Control::Background() const {
    for (const Control* c = this; c; c = c->parent_)
        if (c->color_) return *c->color_;
    return Rgb(240, 240, 240);
}

void Control::SetBackground(Color color) {
    color_ = color;
    Invalidate();
}

int Control::Dpi() const {
    Form* f = OwnerForm();
    return f ? f->FormDpi() : 96;
}

int Control::Scale(int value) const {
    return MulDiv(value, Dpi(), 96);
}

bool Control::OnNativeMessage(unsigned, std::uintptr_t, std::intptr_t, std::intptr_t&) {
    return false;
}

bool Control::OnNotification(unsigned, unsigned, std::uintptr_t, std::intptr_t, std::intptr_t&) {
    return false;
}

} // namespace gui
