#pragma once
// A push button, drawn by the toolkit so that its font and text colour are the system's;
// a flat button shows its frame only while the mouse is over it.

#include <functional>
#include <optional>
#include <string>

#include "gui/Control.h"

namespace gui {

struct ButtonDesc {
    std::wstring caption{};
    Rect bounds{};
    bool flat = false;
    bool visible = true;
    std::optional<Font> font{}; // the parent's font when not given
};

class Button : public Control {
public:
    Button() = default;
    void Create(Control& parent, const ButtonDesc& desc);

    const std::wstring& Caption() const { return caption_; }
    void SetCaption(const std::wstring& caption);
    bool Flat() const { return flat_; }

    std::function<void()> OnClick;
    // A click: runs OnClick (guarded) when the button is visible and enabled, and so are
    // its parents.
    void Click();

    bool OnNativeMessage(unsigned msg, std::uintptr_t wp, std::intptr_t lp,
                         std::intptr_t& result) override;

private:
    void Paint();

    std::wstring caption_;
    bool flat_ = false;
    bool hot_ = false;
    bool pressed_ = false;
};

} // namespace gui
