#pragma once
// A horizontal progress bar with integer minimum, maximum and position. The range and
// repaint rules belong to the component, so both backends behave alike:
// - a position outside the range is stored as the nearer end; the bar is repainted at once,
//   and only, when the whole-number percentage changes;
// - a maximum equal to the current one changes nothing; one below the minimum is refused
//   with ERangeError "Value must be between <minimum + 1> and 2147483647" and changes
//   nothing; otherwise the position is lowered to it when above, and the bar repainted.

#include <cstdint>

#include "gui/Control.h"

namespace gui {

struct ProgressBarDesc {
    Rect bounds{0, 0, 150, 17};
    int minimum = 0;
    int maximum = 100;
    int position = 0;
    Color barColor = Rgb(6, 176, 37);
    Color backColor = Rgb(255, 255, 255);
    bool border = false;
};

class ProgressBar : public Control {
public:
    ProgressBar() = default;
    void Create(Control& parent, const ProgressBarDesc& desc);

    int Minimum() const { return min_; }
    int Maximum() const { return max_; }
    int Position() const { return pos_; }
    void SetMaximum(int value);
    // A minimum above the maximum is refused with ERangeError as well.
    void SetMinimum(int value);
    void SetPosition(int value);
    // (position - minimum) * 100 / (maximum - minimum), cut; 0 for an empty range.
    int Percent() const;
    // How often the bar was repainted by the rules above (tests watch it).
    int RepaintCount() const { return repaints_; }
    Color BarColor() const { return barColor_; }

    bool OnNativeMessage(unsigned msg, std::uintptr_t wp, std::intptr_t lp,
                         std::intptr_t& result) override;

private:
    void Repaint();

    int min_ = 0, max_ = 100, pos_ = 0;
    Color barColor_;
    Color backColor_;
    bool border_ = false;
    int repaints_ = 0;
};

} // namespace gui
