#pragma once
// The memory drawing surface: a memory DC compatible with the band window's DC,
// holding a 32-bit top-down DIB section as back buffer. GDI+ draws into the section's
// pixels through a premultiplied-ARGB bitmap laid over them rather than through the
// DC: a graphics object on a DC with an alpha channel blends every primitive through a
// temporary bitmap of its own, which made a tick several times dearer. Fonts, created
// by family name, are kept in a FontCache.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "platform/drawing.h"
#include "platform/font_cache.h"
#include "platform/win32/handles.h"

namespace tavisto::win32 {

class GdiplusMemorySurface final : public platform::MemorySurface {
  public:
    explicit GdiplusMemorySurface(MemoryDc dc) noexcept;
    ~GdiplusMemorySurface() override;
    GdiplusMemorySurface(const GdiplusMemorySurface&) = delete;
    GdiplusMemorySurface& operator=(const GdiplusMemorySurface&) = delete;

    bool replaceBackBuffer(int width, int height) override;
    // Null while there is no back buffer.
    std::unique_ptr<platform::Canvas> beginDrawing() override;

    HDC deviceContext() const { return dc_.get(); }
    int width() const { return width_; }
    int height() const { return height_; }
    // Premultiplied 0xAARRGGBB at (x, y), counted from the top-left; 0 outside.
    std::uint32_t pixel(int x, int y) const;
    // Row y, counted from the top, `width()` pixels; empty outside. GdiFlush first when
    // GDI drew into the buffer.
    std::span<const std::uint32_t> row(int y) const;

    // Fonts kept for the canvases to come.
    std::size_t resolvedFontCount() const { return resolvedFonts_.size(); }

    // Shared with the fonts handed out, which outlive their cache entry.
    using ResolvedFonts = platform::FontCache<std::shared_ptr<const GdiplusFont>>;

  private:
    MemoryDc dc_;
    HGDIOBJ originalBitmap_ = nullptr;  // the DC's stock bitmap, put back before DeleteDC
    Bitmap backBuffer_;
    std::uint32_t* bits_ = nullptr;  // top-down rows, `width_` pixels each
    GdiplusBitmap pixels_;           // GDI+'s view of `bits_`; released before the section
    int width_ = 0;
    int height_ = 0;
    ResolvedFonts resolvedFonts_;
};

class GdiplusSurfaceFactory final : public platform::SurfaceFactory {
  public:
    explicit GdiplusSurfaceFactory(HWND bandWindow) : bandWindow_(bandWindow) {}
    // Null when no DC can be created.
    std::unique_ptr<platform::MemorySurface> createMemorySurface() override;

  private:
    HWND bandWindow_;
};

}  // namespace tavisto::win32
