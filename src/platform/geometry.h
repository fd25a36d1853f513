#pragma once
// Plain engine types that cross the platform seam.

#include <cstdint>

namespace tavisto {

// Device-pixel rectangle: right and bottom lie one past the last pixel.
struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    std::int32_t width() const { return right - left; }
    std::int32_t height() const { return bottom - top; }
    // Whether the pixel at (x, y) lies inside.
    bool contains(std::int32_t x, std::int32_t y) const {
        return x >= left && x < right && y >= top && y < bottom;
    }
    bool operator==(const Rect&) const = default;
};

// Device-pixel rectangle whose right column and bottom row belong to it: what a
// one-pixel outline drawn round a Rect covers.
struct InclusiveRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;   // the last column
    std::int32_t bottom = 0;  // the last row
    bool operator==(const InclusiveRect&) const = default;
};

// Layout rectangle of a text line, in single precision as the drawing API takes it.
struct RectF {
    float x = 0;
    float y = 0;
    float width = 0;
    float height = 0;
    bool operator==(const RectF&) const = default;
};

// Which way the taskbar holding the band runs: across the screen (top or bottom) or
// along one of its sides.
enum class BandDirection : std::uint8_t { Horizontal, Vertical };

// 0xAARRGGBB, not premultiplied.
using Argb = std::uint32_t;

}  // namespace tavisto
