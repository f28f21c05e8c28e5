#pragma once
// Plain values the components are described with. Sizes and positions are pixels at 96 DPI;
// the Win32 backend scales them to the monitor's DPI.

#include <cstdint>
#include <string>

namespace gui {

struct Color {
    std::uint8_t r = 0, g = 0, b = 0;
    friend constexpr bool operator==(Color, Color) = default;
};
constexpr Color Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return Color{r, g, b};
}

struct Rect {
    int left = 0, top = 0, width = 0, height = 0;
    friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

enum class FontUnit { Pixels, Points };

struct Font {
    std::wstring name = L"Tahoma";
    int size = 8;
    FontUnit unit = FontUnit::Points;
    bool bold = false;
    Color color{};
    friend bool operator==(const Font&, const Font&) = default;
};

inline Font PixelFont(int px, Color color, bool bold = false) {
    return Font{L"Tahoma", px, FontUnit::Pixels, bold, color};
}

enum class TextAlign { Left, Center, Right };

} // namespace gui
