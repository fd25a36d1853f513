#pragma once
// A stand-in taskbar for the GDI+ preview: a dark top-level window with the band window
// as its child, so that painting the band draws the parent's background under the
// meters exactly as in the real taskbar.

#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/drawing.h"
#include "platform/win32/handles.h"

namespace tavisto::preview {

class TaskbarFrame {
  public:
    // A taskbar of the given background colour (0xAARRGGBB, alpha ignored).
    explicit TaskbarFrame(Argb background);
    TaskbarFrame(const TaskbarFrame&) = delete;
    TaskbarFrame& operator=(const TaskbarFrame&) = delete;

    bool ready() const { return static_cast<bool>(band_); }
    HWND band() const { return band_.get(); }
    // Gives the band window (and the taskbar around it) this client size.
    void resizeBand(int width, int height);
    // Paints the band as WM_PRINTCLIENT does and writes the picture as PNG.
    bool writePng(platform::MemorySurface& surface, const std::wstring& path) const;

  private:
    win32::GdiBrush background_;
    win32::Window taskbar_;
    win32::Window band_;
};

}  // namespace tavisto::preview
