#pragma once
// The memory surface on Linux: a Cairo ARGB32 image (premultiplied alpha, as the
// Windows back buffer is) with fonts found through fontconfig. Besides drawing, it can
// lay its back buffer over a background colour and write the result as PNG.
//
// Finding a family through fontconfig costs far more than drawing a line with it, so
// the surface keeps the fonts its canvases resolved, by family and size. Replacing the
// back buffer (every reload and resize of the band) lets go of every font not drawn
// with since the previous replacement: a reload keeps the fonts the band was showing,
// and drops them at the next replacement if the new configuration does not use them.
// Fonts already handed out stay valid either way.

#include <cstddef>
#include <string>
#include <vector>

#include "platform/drawing.h"
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

    // More distinct fonts than any band shows; beyond it the oldest are resolved again.
    static constexpr std::size_t kMaxResolvedFonts = 64;

    struct ResolvedFont {
        std::u16string family;
        float sizePixels = 0.0F;
        CairoFontFaceOwner face;
        bool used = true;  // drawn with since the back buffer was last replaced
    };

  private:
    CairoSurfaceOwner backBuffer;
    std::vector<ResolvedFont> resolvedFonts;
};

class CairoSurfaceFactory final : public SurfaceFactory {
  public:
    std::unique_ptr<MemorySurface> createMemorySurface() override;
};

}  // namespace tavisto::platform
