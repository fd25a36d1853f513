#pragma once
// The settings window's preview: the meters of the configuration file, live, drawn by
// the shared panel window as a taskbar shows them. The panel reads and watches the file
// itself and keeps the last configuration that loaded when a save is refused.

#include <windows.h>

#include <memory>
#include <vector>

#include "render/spoken_values.h"
#include "window/panel_window.h"
#include "window/window_procedure.h"

namespace tavisto::companion {

inline constexpr wchar_t kPreviewWindowClass[] = L"TavistoPreviewClass";
// The outline around a meter that can never show a value, as the findings warn of it.
inline constexpr COLORREF kShowsNothingColour = RGB(0xFF, 0x8C, 0x00);
// Posted to the preview's parent after each reload of the file.
inline constexpr UINT kPreviewReloaded = WM_APP + 2;

class PreviewWindow : private window::WindowProcedure<PreviewWindow>, private window::PanelHost {
  public:
    // A child window `id` of `parent`, horizontal, at the DPI of its monitor, painted over
    // the parent's background; null when it cannot be created. Start GDI+ first.
    static std::unique_ptr<PreviewWindow> create(HWND parent, int id) noexcept;
    // Destroys the window unless its parent already did.
    ~PreviewWindow();
    PreviewWindow(const PreviewWindow&) = delete;
    PreviewWindow& operator=(const PreviewWindow&) = delete;

    // Null once the window is gone.
    using WindowProcedure::window;
    // Whether the preview draws a configuration: false until a file has loaded.
    bool showsMeters() const noexcept { return panel_ && panel_->panel() != nullptr; }
    // Each group's name and what its meters show now; empty without a panel.
    std::vector<SpokenGroup> spokenValues() const {
        return showsMeters() ? spokenGroups(panel_->panel()->model(), panel_->panel()->samples(),
                                            panel_->panel()->numberSeparators())
                             : std::vector<SpokenGroup>{};
    }

  private:
    friend class window::WindowProcedure<PreviewWindow>;
    static constexpr char kFailurePlace[] = "the preview window";
    PreviewWindow() = default;

    bool handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    BandDirection panelDirection() noexcept override;
    // The settings window hears of each reload of the file.
    void panelReloaded(bool lengthChanged) noexcept override;

    // Outlines, over what the panel painted, the meters the checker says show nothing.
    void markMetersThatShowNothing() noexcept;

    std::unique_ptr<window::PanelWindow> panel_;
};

}  // namespace tavisto::companion
