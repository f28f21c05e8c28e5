#pragma once
// The base of every component: its place in the parent, visibility, enabled state, font and
// background colour (inherited from the parent when not set), and the hook through which the
// Win32 backend hands the component its own window messages and notifications.

#include <cstdint>
#include <optional>
#include <vector>

#include "gui/Types.h"

namespace gui {

class Form;

// Where a control sits in its parent: at its bounds, or along an edge with the parent's full
// width (Top, Bottom, height kept), or filling what the aligned controls leave (Client).
enum class Align { None, Top, Bottom, Client };

class Control {
public:
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    virtual ~Control();

    Control* Parent() const { return parent_; }
    Form* OwnerForm() const;
    const std::vector<Control*>& Children() const { return children_; }

    // Left, top, width, height in the parent's client area, at 96 DPI.
    const Rect& Bounds() const { return bounds_; }
    void SetBounds(const Rect& bounds);
    // The client area's width and height at 96 DPI.
    virtual int ClientWidth() const { return bounds_.width; }
    virtual int ClientHeight() const { return bounds_.height; }

    bool Visible() const { return visible_; }
    virtual void SetVisible(bool visible);
    bool Enabled() const { return enabled_; }
    virtual void SetEnabled(bool enabled);
    // Enabled, and so is every parent up to the form: the user can reach the control. A
    // disabled form takes no clicks on any of its controls.
    bool EnabledWithParents() const;

    // The font in effect: the control's own, else its parent's, else Tahoma 8 pt black.
    Font EffectiveFont() const;
    void SetFont(const Font& font);
    // The background in effect: the control's own colour, else its parent's.
    Color Background() const;
    void SetBackground(Color color);

    // The window handle under the Win32 backend, nullptr under the headless one.
    void* NativeHandle() const { return hwnd_; }
    // A value at 96 DPI in device pixels of the owner form's monitor.
    int Scale(int value) const;
    int Dpi() const;

    // Win32: a message to the control's own window (custom-drawn controls) or a
    // notification its parent reflected to it (code: the WM_COMMAND code or the NMHDR code,
    // msg: WM_COMMAND, WM_NOTIFY or a WM_CTLCOLOR message). True when handled.
    virtual bool OnNativeMessage(unsigned msg, std::uintptr_t wp, std::intptr_t lp,
                                 std::intptr_t& result);
    virtual bool OnNotification(unsigned msg, unsigned code, std::uintptr_t wp, std::intptr_t lp,
                                std::intptr_t& result);
    // Re-applies position and font after the DPI changed.
    virtual void ApplyDpi();
    // Places the aligned children in the client area again (after a resize).
    void RealignChildren();
    // Called after the bounds changed; places what depends on the size (aligned children).
    virtual void Resized() { RealignChildren(); }

protected:
    Control() = default;
    // Joins the parent's children with the given bounds and font and colour overrides.
    void Attach(Control* parent, const Rect& bounds, Align align = Align::None);
    // Win32: creates the control's window as a child of the parent's window (nothing under
    // the headless backend). The window carries a pointer back to this control.
    void CreateNative(const wchar_t* windowClass, const std::wstring& text, unsigned long style,
                      unsigned long exStyle = 0);
    void ApplyFont();
    void Invalidate();
    virtual void* NativeParentFor(const Control& child) const;

    Control* parent_ = nullptr;
    std::vector<Control*> children_;
    Rect bounds_;
    Align align_ = Align::None;
    bool visible_ = true;
    bool enabled_ = true;
    std::optional<Font> font_;
    std::optional<Color> color_;
    void* hwnd_ = nullptr;
    void* hfont_ = nullptr;
};

} // namespace gui
