#include "platform/win32/layered_frame.h"

#include <cstring>

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
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t pixel = surface != nullptr ? surface->pixel(x, y) : 0;
            pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                    static_cast<std::size_t>(x)] = clickablePixel(pixel);
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
