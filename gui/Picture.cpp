#include "gui/Picture.h"

#include "gui/Native.h"

namespace gui {

void Picture::Create(Control& parent, const PictureDesc& desc) {
    drawing_ = desc.drawing;
    stretch_ = desc.stretch;
    center_ = desc.center;
    Attach(&parent, desc.bounds);
    CreateNative(detail::kWindowClass, L"", 0);
}

bool Picture::OnNativeMessage(unsigned msg, std::uintptr_t, std::intptr_t, std::intptr_t& result) {
    HWND h = detail::Hwnd(*this);
    if (msg == WM_ERASEBKGND) {
        result = 1;
        return true;
    }
    if (msg != WM_PAINT) return false;
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(h, &ps);
    RECT r;
    GetClientRect(h, &r);
    FillRect(dc, &r, detail::BrushFor(Background()));
    int fw = r.right, fh = r.bottom;
    int w = stretch_ ? fw : Scale(drawing_.width);
    int hgt = stretch_ ? fh : Scale(drawing_.height);
    int ox = center_ ? (fw - w) / 2 : 0, oy = center_ ? (fh - hgt) / 2 : 0;
    for (const Shape& s : drawing_.shapes) {
        std::vector<POINT> pts;
        pts.reserve(s.points.size());
        for (const Point& p : s.points)
            pts.push_back(
                POINT{ox + MulDiv(p.x, w, drawing_.width), oy + MulDiv(p.y, hgt, drawing_.height)});
        HPEN pen = CreatePen(PS_SOLID, 1, detail::Ref(s.outline));
        HGDIOBJ oldPen = SelectObject(dc, pen);
        HGDIOBJ oldBrush = SelectObject(dc, detail::BrushFor(s.fill));
        Polygon(dc, pts.data(), static_cast<int>(pts.size()));
        SelectObject(dc, oldBrush);
        SelectObject(dc, oldPen);
        DeleteObject(pen);
    }
    EndPaint(h, &ps);
    result = 0;
    return true;
}

} // namespace gui
