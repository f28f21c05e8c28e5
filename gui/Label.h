#pragma once
// A text on its parent's background; optionally sized to its text, aligned in a fixed frame.

#include <functional>
#include <optional>
#include <string>

#include "gui/Control.h"

namespace gui {

struct LabelDesc {
    std::wstring text{};
    int left = 0, top = 0;
    int width = 0, height = 0; // the fixed frame when autoSize is off
    bool autoSize = true;
    TextAlign align = TextAlign::Left;
    std::optional<Font> font{}; // the parent's font when not given
};

class Label : public Control {
public:
    Label() = default;
    void Create(Control& parent, const LabelDesc& desc);

    const std::wstring& Text() const { return text_; }
    void SetText(const std::wstring& text);
    Color TextColor() const { return EffectiveFont().color; }
    void SetTextColor(Color color);
    TextAlign Alignment() const { return align_text_; }

    std::function<void()> OnClick;
    // A click on the label: runs OnClick (guarded) when the label and its parents are
    // enabled.
    void Click();

    bool OnNativeMessage(unsigned msg, std::uintptr_t wp, std::intptr_t lp,
                         std::intptr_t& result) override;

private:
    void FitToText();

    std::wstring text_;
    bool autoSize_ = true;
    TextAlign align_text_ = TextAlign::Left;
};

} // namespace gui
