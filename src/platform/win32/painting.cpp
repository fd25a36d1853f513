#include "platform/win32/painting.h"

#include <uxtheme.h>

#include <algorithm>

#include "platform/win32/gdiplus_surface.h"
#include "platform/win32/handles.h"

namespace tavisto::win32 {

BufferedPaintThread::BufferedPaintThread() noexcept
    : initialised_(SUCCEEDED(BufferedPaintInit())) {}

BufferedPaintThread::~BufferedPaintThread() {
    if (initialised_) {
        BufferedPaintUnInit();
    }
}

void paintBand(HWND window, HDC given, const platform::MemorySurface* surface) noexcept {
    PaintDc paint;
    HDC target = given;
    if (target == nullptr) {
        paint = beginPaint(window);
        if (!paint) {
            return;
        }
        target = paint.get();
    }
    RECT client{};
    GetClientRect(window, &client);
    HDC bufferDc = nullptr;
    // Declared after the paint DC: the buffer is copied to the target before EndPaint.
    const PaintBuffer buffer(
        BeginBufferedPaint(target, &client, BPBF_TOPDOWNDIB, nullptr, &bufferDc));
    if (!buffer) {
        return;
    }
    DrawThemeParentBackground(window, bufferDc, &client);

    const auto* memory = dynamic_cast<const GdiplusMemorySurface*>(surface);
    if (memory == nullptr || memory->width() == 0) {
        return;
    }
    RECT area = given != nullptr ? client : paint.traits().paint.rcPaint;
    // AlphaBlend fails as a whole when the source rectangle leaves the bitmap, as it
    // can while the back buffer is older than a resize.
    area.right = std::min<LONG>(area.right, memory->width());
    area.bottom = std::min<LONG>(area.bottom, memory->height());
    if (area.right <= area.left || area.bottom <= area.top) {
        return;
    }
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    AlphaBlend(bufferDc, area.left, area.top, width, height, memory->deviceContext(), area.left,
               area.top, width, height, blend);
}

}  // namespace tavisto::win32
