#include "gui/Form.h"

#include <vector>

#include "gui/Application.h"
#include "gui/Headless.h"
#include "gui/Native.h"
#include "gui/Win32Loop.h"

namespace gui {

namespace {

DWORD StyleOf(const FormDesc& d) {
    DWORD style = WS_CLIPCHILDREN | WS_CAPTION;
    if (d.closeButton) style |= WS_SYSMENU;
    switch (d.border) {
    case BorderStyle::Dialog:
    case BorderStyle::Tool:
        break;
    case BorderStyle::Sizeable:
        style |= WS_THICKFRAME;
        if (d.minMaxButtons) style |= WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
        break;
    }
    return style;
}

DWORD ExStyleOf(const FormDesc& d, bool mainForm) {
    DWORD ex = WS_EX_CONTROLPARENT;
    if (d.border == BorderStyle::Tool) ex |= WS_EX_TOOLWINDOW;
    if (d.border == BorderStyle::Dialog) ex |= WS_EX_DLGMODALFRAME;
    if (d.stayOnTop) ex |= WS_EX_TOPMOST;
    if (mainForm) ex |= WS_EX_APPWINDOW;
    return ex;
}

BOOL CALLBACK DisableOthers(HWND hwnd, LPARAM lp) {
    auto* list = reinterpret_cast<std::pair<HWND, std::vector<HWND>>*>(lp);
    if (hwnd != list->first && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd)) {
        list->second.push_back(hwnd);
        EnableWindow(hwnd, FALSE);
    }
    return TRUE;
}

} // namespace

Form::~Form() {
    Application::Instance().FormDestroyed(this);
}

void Form::Create(const FormDesc& desc) {
    desc_ = desc;
    caption_ = desc.caption;
    clientWidth_ = desc.clientWidth;
    clientHeight_ = desc.clientHeight;
    stayOnTop_ = desc.stayOnTop;
    color_ = desc.color;
    font_ = desc.font;
    visible_ = false;
    bounds_ = Rect{0, 0, desc.clientWidth, desc.clientHeight};
    if (Application::Instance().IsHeadless()) return;
    detail::RegisterWindowClass();
    // The main form stands in the task bar itself (created before any other form).
    bool mainForm =
        Application::Instance().MainForm() == nullptr || Application::Instance().MainForm() == this;
    HWND h = CreateWindowExW(ExStyleOf(desc, mainForm), detail::kWindowClass, caption_.c_str(),
                             StyleOf(desc), CW_USEDEFAULT, CW_USEDEFAULT, desc.clientWidth,
                             desc.clientHeight, nullptr, nullptr, GetModuleHandleW(nullptr), this);
    if (!h) return;
    hwnd_ = h;
    detail::BindControl(h, this);
    SetPropW(h, detail::kFormProperty, reinterpret_cast<HANDLE>(1));
    dpi_ = detail::DpiForWindow(h);
    PlaceWindow();
}

void Form::PlaceWindow() {
    HWND h = detail::Hwnd(*this);
    if (!h) return;
    DWORD style = static_cast<DWORD>(GetWindowLongPtrW(h, GWL_STYLE));
    DWORD ex = static_cast<DWORD>(GetWindowLongPtrW(h, GWL_EXSTYLE));
    RECT r{0, 0, Scale(clientWidth_), Scale(clientHeight_)};
    detail::AdjustRectForDpi(&r, style, ex, dpi_);
    int w = r.right - r.left, hgt = r.bottom - r.top;
    HMONITOR mon = MonitorFromWindow(h, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    GetMonitorInfoW(mon, &mi);
    const RECT& work = mi.rcWork;
    int x = work.left + ((work.right - work.left) - w) / 2;
    int y = work.top + ((work.bottom - work.top) - hgt) / 2;
    SetWindowPos(h, nullptr, x, y, w, hgt, SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::SetCaption(const std::wstring& caption) {
    caption_ = caption;
    if (hwnd_) SetWindowTextW(detail::Hwnd(*this), caption_.c_str());
}

void Form::SetVisible(bool visible) {
    if (visible)
        Show();
    else
        Hide();
}

void Form::SetEnabled(bool enabled) {
    Control::SetEnabled(enabled);
    HWND h = detail::Hwnd(*this);
    if (enabled && h && visible_ && !GetActiveWindow()) SetActiveWindow(h);
}

void Form::Show() {
    if (visible_) return;
    if (OnShow) Guarded(OnShow);
    visible_ = true;
    HWND h = detail::Hwnd(*this);
    if (!h) return;
    Form* main = Application::Instance().MainForm();
    // Module windows belong to the main window, so they stand in no task-bar button.
    if (main && main != this && main->hwnd_)
        SetWindowLongPtrW(h, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(main->hwnd_));
    if (stayOnTop_) SetWindowPos(h, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ShowWindow(h, SW_SHOW);
    UpdateWindow(h);
    if (activeControl_ && activeControl_->NativeHandle())
        SetFocus(static_cast<HWND>(activeControl_->NativeHandle()));
}

void Form::Hide() {
    visible_ = false;
    if (HWND h = detail::Hwnd(*this)) ShowWindow(h, SW_HIDE);
}

void Form::Close() {
    if (OnClose) Guarded(OnClose);
    if (modal_) {
        SetModalResult(modalResult_ == ModalResult::None ? ModalResult::Cancel : modalResult_);
        return;
    }
    Hide();
    if (Application::Instance().MainForm() == this) Application::Instance().Terminate();
}

void Form::SetModalResult(ModalResult result) {
    modalResult_ = result;
    // Wakes the modal loop, which may be waiting for a message.
    if (modal_ && hwnd_) PostMessageW(detail::Hwnd(*this), WM_NULL, 0, 0);
}

ModalResult Form::ShowModal() {
    modal_ = true;
    modalResult_ = ModalResult::None;
    if (Application::Instance().IsHeadless()) {
        Show();
        if (auto& handler = headless::detail::ModalHandler()) handler(*this);
        if (modalResult_ == ModalResult::None) Close();
        Hide();
        modal_ = false;
        return modalResult_;
    }
    HWND h = detail::Hwnd(*this);
    std::pair<HWND, std::vector<HWND>> disabled{h, {}};
    EnumThreadWindows(GetCurrentThreadId(), DisableOthers, reinterpret_cast<LPARAM>(&disabled));
    Show();
    if (h) SetForegroundWindow(h);
    MSG msg;
    while (modalResult_ == ModalResult::None) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            // The application is ending: the outer loop must see the quit too.
            PostQuitMessage(static_cast<int>(msg.wParam));
            modalResult_ = ModalResult::Cancel;
            break;
        }
        detail::DispatchLoopMessage(msg);
    }
    for (HWND w : disabled.second)
        EnableWindow(w, TRUE);
    Hide();
    modal_ = false;
    return modalResult_;
}

BusyForm::BusyForm(Form& form) : form_(form) {
    form_.SetEnabled(false);
}

void BusyForm::End() noexcept {
    if (ended_) return;
    ended_ = true;
    try {
        Application::Instance().ProcessMessages();
    } catch (...) {
    }
    try {
        form_.SetEnabled(true);
    } catch (...) {
    }
}

bool Form::OnNativeMessage(unsigned msg, std::uintptr_t wp, std::intptr_t lp,
                           std::intptr_t& result) {
    HWND h = detail::Hwnd(*this);
    switch (msg) {
    case WM_CLOSE:
        // The user's request to close (close box, Alt+F4): not while the form is disabled,
        // and never for a form without a close button (a progress window).
        if (enabled_ && desc_.closeButton) Close();
        result = 0;
        return true;
    case WM_ERASEBKGND: {
        RECT r;
        GetClientRect(h, &r);
        FillRect(reinterpret_cast<HDC>(wp), &r, detail::BrushFor(Background()));
        result = 1;
        return true;
    }
    case WM_COMMAND:
        if (lp == 0 && LOWORD(wp) == IDOK && OnEnterKey) {
            Guarded(OnEnterKey);
            return true;
        }
        if (lp == 0 && LOWORD(wp) == IDCANCEL && OnEscapeKey) {
            Guarded(OnEscapeKey);
            return true;
        }
        return false;
    case WM_SIZE:
        if (wp != SIZE_MINIMIZED && dpi_ > 0) {
            clientWidth_ = MulDiv(LOWORD(lp), 96, dpi_);
            clientHeight_ = MulDiv(HIWORD(lp), 96, dpi_);
            bounds_.width = clientWidth_;
            bounds_.height = clientHeight_;
            RealignChildren();
        }
        return false;
    case 0x02E0: { // WM_DPICHANGED
        dpi_ = HIWORD(wp);
        for (Control* child : children_)
            child->ApplyDpi();
        auto* r = reinterpret_cast<RECT*>(lp);
        SetWindowPos(h, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        InvalidateRect(h, nullptr, TRUE);
        result = 0;
        return true;
    }
    default:
        return false;
    }
}

} // namespace gui
