#pragma once
// A meter panel in a window, as every host shows it: the desk band's window in a
// taskbar that hosts bands, the companion's window inside the taskbar, and the settings
// window's preview. It owns the window's platform services, the panel, the collector
// that runs the panel's collections away from the window's thread, and the watcher that
// asks for a reload when the configuration file changes, and it answers the messages
// every host answers alike; the host owns the window, answers its own messages first and
// decides how the frame reaches the screen.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "panel/meter_panel.h"
#include "platform/win32/band_window_platform.h"
#include "platform/win32/gdiplus_surface.h"
#include "window/accessible_meters.h"
#include "window/collector.h"
#include "window/config_watcher.h"
#include "window/configuration_location.h"

namespace tavisto::window {

// What each window showing a panel decides its own way.
class PanelHost {
  public:
    // The way the meters run now, asked at each resize and theme change.
    virtual BandDirection panelDirection() noexcept = 0;
    // After a reload message that read the file, whether it loaded or was refused.
    virtual void panelReloaded(bool lengthChanged) noexcept = 0;

  protected:
    virtual ~PanelHost() = default;
    // For a host that derives from this privately, to hand itself to its PanelWindow.
    PanelHost& panelHost() noexcept { return *this; }
};

class PanelWindow final : public MeterSource {
  public:
    // Call from WM_CREATE with GDI+ started: starts watching the configuration folder;
    // the watcher reads the file and the reload message brings it. Until then, and while
    // the file is missing or malformed, the window has no panel. `host` outlives it.
    PanelWindow(HWND window, PanelHost& host, win32::DpiSource dpi);
    // Destroy it no later than WM_DESTROY, on the window's thread: the panel's timers
    // and tooltips belong to the window, and the watcher posts to it.
    ~PanelWindow();
    PanelWindow(const PanelWindow&) = delete;
    PanelWindow& operator=(const PanelWindow&) = delete;

    // The messages every host answers alike: resizes and theme changes lay out again,
    // painting draws the frame over the parent's background, WM_GETOBJECT, the
    // collector's and the watcher's messages. True when answered with `result`.
    bool answer(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) noexcept;

    // Has the watcher read the file again, as after a change; the reload message follows.
    void readConfigurationAgain() noexcept;
    // The text of the newest read a reload took; none before the first, or when that
    // read found no file to read.
    const std::optional<std::string>& lastRead() const noexcept { return lastRead_; }
    // Why the last reload kept what was shown (the file could not be read, or the parse's
    // or the load's message); empty after one that loaded.
    const std::string& refusal() const noexcept { return refusal_; }
    // Lays out for the host's direction and theme now, redraws the whole frame and
    // repaints.
    void layOutAgain() noexcept;

    BandDirection direction() const noexcept { return direction_; }
    // 0 while there is no panel.
    std::int32_t bandLength() const noexcept;
    double dpiScale() const noexcept { return panel_ ? panel_->dpiScale() : 0.0; }
    // Null while there is no panel.
    const MeterPanel* panel() const noexcept override { return panel_.get(); }
    const win32::GdiplusMemorySurface* surface() const noexcept;

    // After new values reached the screen: screen readers that hold the accessible object
    // hear of them, no more often than every few seconds per group.
    void announceValueChanges() noexcept { accessibility_.announceValueChanges(); }

  private:
    // The reload message: loads what the watcher read, and tells the host when there was
    // a read. A document that cannot be read or loaded keeps what is shown.
    void reload() noexcept;
    // The collector's message: the panel reads what was collected and draws.
    void collected() noexcept;

    HWND window_;
    PanelHost& host_;
    BandDirection direction_;
    std::unique_ptr<win32::BandWindowPlatform> platform_;
    // Outlives the panel, whose queries it may still be collecting.
    std::unique_ptr<Collector> collector_;
    std::unique_ptr<MeterPanel> panel_;
    std::unique_ptr<ConfigWatcher> watcher_;
    std::string refusal_;
    std::optional<std::string> lastRead_;
    MeterAccessibility accessibility_;
};

// The shared messages of a host's window, answered by its panel window; a host whose panel
// window could not be made still paints the parent's background.
bool answerPanelMessage(PanelWindow* panel, HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                        LRESULT& result) noexcept;

// Vertical when `host`'s client area is taller than wide (a square is horizontal).
BandDirection bandDirectionOf(HWND host) noexcept;

// ShellExecuteW with the default verb and no parameters; failures are silent, and
// nothing is started when there is no program.
void launch(const std::optional<Launch>& program) noexcept;
// The left click of both hosts.
void startTaskManager() noexcept;

}  // namespace tavisto::window
