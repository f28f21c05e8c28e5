#pragma once
// Internal to the toolkit's Win32 side.

#include <windows.h>

#include "gui/Control.h"

namespace gui::detail {

// The window class of every custom-drawn component and container; its procedure hands
// messages to the component and reflects child notifications to the child component.
inline constexpr wchar_t kWindowClass[] = L"KorektaWindow";
void RegisterWindowClass();

inline HWND Hwnd(const Control& c) {
    return static_cast<HWND>(c.NativeHandle());
}
Control* ControlFromHwnd(HWND hwnd);
void BindControl(HWND hwnd, Control* control);

inline COLORREF Ref(Color c) {
    return RGB(c.r, c.g, c.b);
}
// Shared, cached GDI objects; never deleted before the program ends.
HFONT FontHandle(const Font& font, int dpi);
HBRUSH BrushFor(Color color);

int DpiForWindow(HWND hwnd);
BOOL AdjustRectForDpi(RECT* rect, DWORD style, DWORD exStyle, int dpi);

// A handler body run from a window procedure: never lets a failure out.
template <class F>
LRESULT Shielded(F&& f, LRESULT fallback = 0) noexcept;

} // namespace gui::detail

#include "gui/Application.h"

template <class F>
LRESULT gui::detail::Shielded(F&& f, LRESULT fallback) noexcept {
    try {
        return f();
    } catch (...) {
        Application::Instance().HandleException(std::current_exception());
        return fallback;
    }
}
