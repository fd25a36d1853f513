#include "platform/win32/layered_frame.h"

#include <cstring>
#include <span>

#include "platform/win32/handles.h"

namespace tavisto::win32 {

std::uint32_t clickablePixel(std::uint32_t premultiplied) noexcept {
    return (premultiplied >> 24) == 0 ? 0x01000000u : premultiplied;
}

bool LayeredFrame::present(HWND window, const GdiplusMemorySurface* surface, int width,
                           int height) noexcept {
    if (width <= 0 || height <= 0) {
        pixels_.clear();
        width_ = height_ = 0;
        return false;
    }
    try {
        pixels_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    } catch (...) {
        return false;
    }
    width_ = width;
    height_ = height;
    GdiFlush();
    for (int y = 0; y < height; ++y) {
        const std::span<const std::uint32_t> source =
            surface != nullptr ? surface->row(y) : std::span<const std::uint32_t>();
        const auto rowStart = static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        for (std::size_t x = 0; x < static_cast<std::size_t>(width); ++x) {
            pixels_[rowStart + x] = clickablePixel(x < source.size() ? source[x] : 0);
        }
    }

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down, as the pixels are kept
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const Bitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    const MemoryDc dc(CreateCompatibleDC(nullptr));
    if (!bitmap || !dc || bits == nullptr) {
        return false;
    }
    std::memcpy(bits, pixels_.data(), pixels_.size() * sizeof(std::uint32_t));
    const HGDIOBJ original = SelectObject(dc.get(), bitmap.get());
    SIZE size{width, height};
    POINT origin{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    const BOOL shown = UpdateLayeredWindow(window, nullptr, nullptr, &size, dc.get(), &origin, 0,
                                           &blend, ULW_ALPHA);
    // The bitmap is deleted after the DC lets go of it.
    SelectObject(dc.get(), original);
    return shown != FALSE;
}

}  // namespace tavisto::win32
