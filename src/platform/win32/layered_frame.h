#pragma once
// Showing the back buffer in a layered window with per-pixel alpha. A layered window
// composes its pixels over whatever lies behind it, including a taskbar drawn through
// composition, where a buffered paint over the parent's background would show an
// opaque block instead.

#include <windows.h>

#include <cstdint>
#include <vector>

#include "platform/win32/gdiplus_surface.h"

namespace tavisto::win32 {

// The system passes clicks through pixels of alpha 0: those get alpha 1 (black, so the
// premultiplied value stays valid), which no one can see but which keeps every click
// inside the window's rectangle for the window.
std::uint32_t clickablePixel(std::uint32_t premultiplied) noexcept;

class LayeredFrame {
  public:
    // Copies `surface` (none: an empty frame) into a frame of `width` × `height`,
    // making every pixel clickable, and hands it to UpdateLayeredWindow. False when
    // the frame could not be made or shown.
    bool present(HWND window, const GdiplusMemorySurface* surface, int width, int height) noexcept;

    // What was last handed to the window: top-down rows of premultiplied 0xAARRGGBB.
    const std::vector<std::uint32_t>& pixels() const noexcept { return pixels_; }
    int width() const noexcept { return width_; }
    int height() const noexcept { return height_; }

  private:
    std::vector<std::uint32_t> pixels_;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace tavisto::win32
