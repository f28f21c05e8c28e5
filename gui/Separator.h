#pragma once
// A horizontal etched line.

#include "gui/Control.h"

namespace gui {

struct SeparatorDesc {
    int left = 0, top = 0, width = 100;
};

class Separator : public Control {
public:
    Separator() = default;
    void Create(Control& parent, const SeparatorDesc& desc);

    bool OnNativeMessage(unsigned msg, std::uintptr_t wp, std::intptr_t lp,
                         std::intptr_t& result) override;
};

} // namespace gui
