#pragma once
// Painting the band window: the back buffer, with its per-pixel alpha, blended over
// the taskbar's background inside a buffered paint.

#include <windows.h>

#include "platform/drawing.h"

namespace tavisto::win32 {

// BufferedPaintInit for the life of the object, on the thread that creates it; keep
// one alive on the band window's thread while the window paints.
class BufferedPaintThread {
  public:
    BufferedPaintThread() noexcept;
    ~BufferedPaintThread();
    BufferedPaintThread(const BufferedPaintThread&) = delete;
    BufferedPaintThread& operator=(const BufferedPaintThread&) = delete;

  private:
    bool initialised_;
};

// Paints the band window. `given` is the DC of WM_PRINTCLIENT, or null for WM_PAINT
// (BeginPaint/EndPaint). `surface` is the panel's memory surface, or null when there
// is no panel: then only the taskbar's background is painted.
void paintBand(HWND window, HDC given, const platform::MemorySurface* surface) noexcept;

}  // namespace tavisto::win32
