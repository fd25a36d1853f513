#pragma once
// Drawing primitives used by the meters, in engine types. A Canvas is one drawing
// session on the memory surface; every call maps to one call of the platform's
// 2D API (GDI+ on Windows, Cairo on Linux).

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/geometry.h"

namespace tavisto::platform {

enum class TextAlignment : std::uint8_t { Near = 0, Center = 1, Far = 2 };

// Whether the taskbar under the band is dark or light; "auto" colours follow it.
enum class TaskbarTheme : std::uint8_t { Dark, Light };

// Rendering settings of a drawing session.
enum class RenderQuality : std::uint8_t {
    Shapes,      // anti-aliased shapes, high-quality interpolation
    TextModern,  // text on Windows 10 and later: anti-aliasing everywhere, high quality
    TextLegacy,  // text on older systems: anti-aliased text, linear compositing
    PixelExact,  // shapes on whole pixels without anti-aliasing, so drawing twice changes nothing
};

// A font created by a canvas; opaque to the engine.
class Font {
  public:
    virtual ~Font() = default;
};

class Canvas {
  public:
    virtual ~Canvas() = default;
    // Makes the area fully transparent, its last column and row included.
    virtual void clearToTransparent(const InclusiveRect& area) = 0;
    // Moves the pixels of the area (right and bottom excluded) by dx, dy. Pixels moved
    // out of the area are dropped; the strip left behind becomes transparent.
    virtual void scrollArea(const Rect& area, int dx, int dy) = 0;
    virtual void setQuality(RenderQuality quality) = 0;
    virtual void fillRectangle(Argb color, int x, int y, int width, int height) = 0;
    // One-pixel outline.
    virtual void outlineRectangle(Argb color, int x, int y, int width, int height) = 0;
    // Sector of the ellipse in the box; angles in degrees, clockwise from the x axis.
    virtual void fillPie(Argb color, int x, int y, int width, int height, float startAngle,
                         float sweepAngle) = 0;
    virtual void outlineEllipse(Argb color, int x, int y, int width, int height) = 0;
    // Font by family name and pixel size, falling back to the generic sans-serif
    // family; null when neither can be created.
    virtual std::unique_ptr<Font> createFont(std::u16string_view family, float sizePixels) = 0;
    // Draws text in the layout rectangle with word wrapping and clipping to it.
    virtual void drawString(std::u16string_view text, const Font& font, Argb color,
                            const RectF& layout, TextAlignment alignment,
                            TextAlignment lineAlignment) = 0;
    // The width in pixels the text takes drawn on one line in the font.
    virtual float measureString(std::u16string_view text, const Font& font) = 0;
    // Draws the text on one line in the layout rectangle, centred across it and clipped
    // to it; text wider than the rectangle is cut and ends with "…".
    virtual void drawLine(std::u16string_view text, const Font& font, Argb color,
                          const RectF& layout, TextAlignment alignment) = 0;
};

// The memory drawing surface and its 32-bit back buffer (premultiplied ARGB).
class MemorySurface {
  public:
    virtual ~MemorySurface() = default;
    // Replaces the back buffer with a new, all-transparent one of the given size.
    // Returns false, keeping the previous buffer, when the size is empty or the
    // buffer cannot be created.
    virtual bool replaceBackBuffer(int width, int height) = 0;
    // A drawing session on the current back buffer; null when none can be made.
    virtual std::unique_ptr<Canvas> beginDrawing() = 0;
};

class SurfaceFactory {
  public:
    virtual ~SurfaceFactory() = default;
    // A memory surface compatible with the band window.
    virtual std::unique_ptr<MemorySurface> createMemorySurface() = 0;
};

}  // namespace tavisto::platform
