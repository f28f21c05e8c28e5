#include "gui/ProgressBar.h"

#include <climits>
#include <cstdio>

#include "gui/Native.h"
#include "util/Errors.h"

namespace gui {

namespace {

std::wstring RangeText(long long low, long long high) {
    wchar_t buf[96];
    std::swprintf(buf, 96, L"Value must be between %lld and %lld", low, high);
    return buf;
}

int PercentOf(int min, int max, int pos) {
    if (max == min) return 0;
    return static_cast<int>((static_cast<long long>(pos) - min) * 100 /
                            (static_cast<long long>(max) - min));
}

} // namespace

void ProgressBar::Create(Control& parent, const ProgressBarDesc& desc) {
    min_ = desc.minimum;
    max_ = desc.maximum < desc.minimum ? desc.minimum : desc.maximum;
    pos_ = desc.position < min_ ? min_ : desc.position > max_ ? max_ : desc.position;
    barColor_ = desc.barColor;
    backColor_ = desc.backColor;
    border_ = desc.border;
    Attach(&parent, desc.bounds);
    CreateNative(detail::kWindowClass, L"", 0, border_ ? WS_EX_STATICEDGE : 0);
}

int ProgressBar::Percent() const {
    return PercentOf(min_, max_, pos_);
}

void ProgressBar::SetPosition(int value) {
    if (value < min_) value = min_;
    if (value > max_) value = max_;
    int before = Percent();
    pos_ = value;
    if (Percent() != before) Repaint();
}

void ProgressBar::SetMaximum(int value) {
    if (value == max_) return;
    // The largest minimum an int can be below keeps the sum from overflowing.
    if (value < min_) throw ERangeError(RangeText(static_cast<long long>(min_) + 1, INT_MAX));
    max_ = value;
    if (pos_ > max_) pos_ = max_;
    Repaint();
}

void ProgressBar::SetMinimum(int value) {
    if (value == min_) return;
    if (value > max_) throw ERangeError(RangeText(INT_MIN, static_cast<long long>(max_) - 1));
    min_ = value;
    if (pos_ < min_) pos_ = min_;
    Repaint();
}

void ProgressBar::Repaint() {
    ++repaints_;
    if (HWND h = detail::Hwnd(*this)) {
        InvalidateRect(h, nullptr, FALSE);
        UpdateWindow(h);
    }
}

bool ProgressBar::OnNativeMessage(unsigned msg, std::uintptr_t, std::intptr_t,
                                  std::intptr_t& result) {
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
    long long span = static_cast<long long>(max_) - min_;
    int filled =
        span > 0 ? static_cast<int>((static_cast<long long>(pos_) - min_) * r.right / span) : 0;
    RECT bar{0, 0, filled, r.bottom};
    RECT rest{filled, 0, r.right, r.bottom};
    FillRect(dc, &bar, detail::BrushFor(barColor_));
    FillRect(dc, &rest, detail::BrushFor(backColor_));
    EndPaint(h, &ps);
    result = 0;
    return true;
}

} // namespace gui
