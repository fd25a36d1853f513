#pragma once
// The memory surface on Linux: a Cairo ARGB32 image (premultiplied alpha, as the
// Windows back buffer is) with fonts found through fontconfig. Besides drawing, it can
// lay its back buffer over a background colour and write the result as PNG. Fonts are
// found through fontconfig and kept in a FontCache.

#include <cstddef>
#include <string>

#include "platform/drawing.h"
#include "platform/font_cache.h"
#include "platform/linux/cairo_handles.h"

namespace tavisto::platform {

class CairoSurface final : public MemorySurface {
  public:
    bool replaceBackBuffer(int width, int height) override;
    std::unique_ptr<Canvas> beginDrawing() override;

    int width() const;
    int height() const;
    // The stored pixel: 0xAARRGGBB with premultiplied colour; 0 outside the buffer.
    Argb pixel(int x, int y) const;
    // The back buffer laid over an opaque background, as the band shows it over the
    // taskbar; null when there is no back buffer or the image cannot be made.
    CairoSurfaceOwner composite(Argb background) const;
    // Writes the composite as PNG; false when there is nothing to write or writing fails.
    bool writePng(const std::string& path, Argb background) const;

    // Fonts kept for the canvases to come.
    std::size_t resolvedFontCount() const { return resolvedFonts.size(); }

  private:
    CairoSurfaceOwner backBuffer;
    FontCache<CairoFontFaceOwner> resolvedFonts;
};

class CairoSurfaceFactory final : public SurfaceFactory {
  public:
    std::unique_ptr<MemorySurface> createMemorySurface() override;
};

}  // namespace tavisto::platform
