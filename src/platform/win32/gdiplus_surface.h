#pragma once
// The memory drawing surface: a memory DC compatible with the band window's DC,
// holding a 32-bit bottom-up DIB section as back buffer, drawn with GDI+.

#include <cstdint>

#include "platform/drawing.h"
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

  private:
    MemoryDc dc_;
    HGDIOBJ originalBitmap_ = nullptr;  // the DC's stock bitmap, put back before DeleteDC
    Bitmap backBuffer_;
    const std::uint32_t* bits_ = nullptr;  // bottom-up rows
    int width_ = 0;
    int height_ = 0;
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
