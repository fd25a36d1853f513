#pragma once
// The one kind of DIB section Tavisto draws into and reads back: 32 bits a pixel, rows
// top-down (a negative height), so that row y starts at pixel y × width as in the
// memory surfaces and the frames.

#include <windows.h>

#include <cstdint>

#include "platform/win32/handles.h"

namespace tavisto::win32 {

struct DibSection {
    Bitmap bitmap;
    // The section's pixels, width × height of them; null when there is no bitmap. A new
    // section starts all zero.
    std::uint32_t* pixels = nullptr;

    explicit operator bool() const noexcept { return bitmap && pixels != nullptr; }
};

// Empty when the size is not positive or the section cannot be created. `dc` may be
// null (the screen's).
inline DibSection createTopDownDib(HDC dc, int width, int height) noexcept {
    DibSection section;
    if (width <= 0 || height <= 0) {
        return section;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    section.bitmap.reset(CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (section.bitmap) {
        section.pixels = static_cast<std::uint32_t*>(bits);
    }
    return section;
}

}  // namespace tavisto::win32
