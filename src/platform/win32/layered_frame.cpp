#include "platform/win32/layered_frame.h"

#include <cstring>
#include <span>

#include "core/failure_sink.h"
#include "platform/win32/dib_section.h"
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
        reportCaughtException("the layered frame's pixels");
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

    // Top-down, as the pixels are kept.
    const DibSection section = createTopDownDib(nullptr, width, height);
    const MemoryDc dc(CreateCompatibleDC(nullptr));
    if (!section || !dc) {
        return false;
    }
    std::memcpy(section.pixels, pixels_.data(), pixels_.size() * sizeof(std::uint32_t));
    const HGDIOBJ original = SelectObject(dc.get(), section.bitmap.get());
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
