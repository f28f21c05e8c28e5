#pragma once
// A plain container with a background colour; may run along the top or bottom edge.

#include <optional>

#include "gui/Control.h"

namespace gui {

struct PanelDesc {
    Rect bounds{}; // for Align::Top and Bottom only the height counts
    Align align = Align::None;
    std::optional<Color> color{}; // the parent's colour when not given
    bool bevel = false;           // a raised edge around the panel
    std::optional<Font> font{};
};

class Panel : public Control {
public:
    Panel() = default;
    void Create(Control& parent, const PanelDesc& desc);
    bool HasBevel() const { return bevel_; }

    bool OnNativeMessage(unsigned msg, std::uintptr_t wp, std::intptr_t lp,
                         std::intptr_t& result) override;

private:
    bool bevel_ = false;
};

} // namespace gui
