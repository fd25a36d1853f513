#pragma once
// The settings window's preview: the meters of the configuration file, live, drawn by
// the shared panel window as a taskbar shows them. The panel reads and watches the file
// itself and keeps the last configuration that loaded when a save is refused.

#include <windows.h>

namespace tavisto::companion {

inline constexpr wchar_t kPreviewWindowClass[] = L"TavistoPreviewClass";
// Posted to the preview's parent after each reload of the file.
inline constexpr UINT kPreviewReloaded = WM_APP + 2;

// A child window `id` of `parent`, horizontal, at the DPI of its monitor, painted over
// the parent's background; null when it cannot be created. Start GDI+ first.
HWND createPreviewWindow(HWND parent, int id) noexcept;

// Whether the preview draws a configuration: false until a file has loaded.
bool previewShowsMeters(HWND preview) noexcept;

}  // namespace tavisto::companion
