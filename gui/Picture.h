#pragma once
// A picture drawn from filled polygons in its own coordinate space, stretched to the frame
// (sharp at any DPI).

#include <vector>

#include "gui/Control.h"

namespace gui {

struct Point {
    int x = 0, y = 0;
};

struct Shape {
    std::vector<Point> points{}; // a closed polygon
    Color fill{};
    Color outline{};
};

struct Drawing {
    int width = 100, height = 100; // the coordinate space of the shapes
    std::vector<Shape> shapes{};   // painted in order
};

struct PictureDesc {
    Rect bounds{};
    Drawing drawing{};
    bool stretch = true; // false: drawn at its own size
    bool center = true;  // centred in the frame when smaller than it
};

class Picture : public Control {
public:
    Picture() = default;
    void Create(Control& parent, const PictureDesc& desc);
    const Drawing& GetDrawing() const { return drawing_; }
    bool Stretched() const { return stretch_; }
    bool Centered() const { return center_; }

    bool OnNativeMessage(unsigned msg, std::uintptr_t wp, std::intptr_t lp,
                         std::intptr_t& result) override;

private:
    Drawing drawing_;
    bool stretch_ = true;
    bool center_ = true;
};

} // namespace gui
