#pragma once
// The meters in a window, as every host shows them: the desk band's window in a taskbar
// that hosts bands, the companion's window inside each taskbar, and the settings
// window's preview. It is the window's view of its thread's panel source: the window's
// own backends, layout, frame cache and surface, drawn from the samples every window of
// the thread shares. It answers the messages every host answers alike; the host owns
// the window, answers its own messages first and decides how the frame reaches the
// screen.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "panel/panel_view.h"
#include "platform/win32/gdiplus_surface.h"
#include "platform/win32/painting.h"
#include "platform/win32/system_services.h"
#include "platform/win32/taskbar_theme.h"
#include "platform/win32/tooltips.h"
#include "window/accessible_meters.h"
#include "window/configuration_location.h"
#include "window/panel_source.h"

namespace tavisto::window {

// What each window showing a panel decides its own way.
class PanelHost {
  public:
    // The way the meters run now, asked at each resize and theme change.
    virtual BandDirection panelDirection() noexcept = 0;
    // After a reload that read the file, whether it loaded or was refused.
    virtual void panelReloaded(bool lengthChanged) noexcept = 0;

  protected:
    virtual ~PanelHost() = default;
    // For a host that derives from this privately, to hand itself to its PanelWindow.
    PanelHost& panelHost() noexcept { return *this; }
};

// Where the window's DPI comes from: the screen (the desk band, scaled with the process
// that hosts it), or the monitor of the window (a per-monitor aware program).
enum class DpiSource { Screen, WindowMonitor };

class PanelWindow final : public MeterSource, private PanelSource::Reader {
  public:
    // Call from WM_CREATE with GDI+ started: shows what the thread's panel source has
    // loaded, and what it loads from then on. Until the first load, and while the file is
    // missing or malformed, the window shows no meters. `host` outlives it. Throws when
    // the source or the window's surface cannot be made.
    PanelWindow(HWND window, PanelHost& host, DpiSource dpi);
    // Destroy it no later than WM_DESTROY, on the window's thread: the tooltips belong to
    // the window.
    ~PanelWindow();
    PanelWindow(const PanelWindow&) = delete;
    PanelWindow& operator=(const PanelWindow&) = delete;

    // The messages every host answers alike: resizes and theme changes lay out again, a
    // change of the locale has the engine read its separators again,
    // painting draws the frame over the parent's background, WM_GETOBJECT, the tooltips'
    // requests for their text (WM_NOTIFY). True when answered with `result`.
    bool answer(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) noexcept;

    // The source every window of the thread shows.
    PanelSource& source() noexcept { return *source_; }
    const PanelSource& source() const noexcept { return *source_; }
    // Lays out for the host's direction and theme now, redraws the whole frame and
    // repaints.
    void layOutAgain() noexcept;

    BandDirection direction() const noexcept { return view_.direction(); }
    // 0 while no configuration is loaded.
    std::int32_t bandLength() const noexcept;
    double dpiScale() const noexcept { return view_.dpiScale(); }
    // Null while no configuration is loaded.
    const PanelView* panel() const noexcept override;
    const win32::GdiplusMemorySurface* surface() const noexcept;

    // After new values reached the screen: screen readers that hold the accessible object
    // hear of them, no more often than every few seconds per group.
    void announceValueChanges() noexcept { accessibility_.announceValueChanges(); }

  private:
    // Tells the host, and screen readers when the groups may be others.
    void sourceReloaded() noexcept override;

    HWND window_;
    PanelHost& host_;
    std::shared_ptr<PanelSource> source_;
    win32::BufferedPaintThread bufferedPaint_;
    win32::Win32Screen screen_;
    win32::Win32BandWindow bandWindow_;
    win32::Win32Tooltips tooltips_;
    win32::GdiplusSurfaceFactory surfaces_;
    win32::Win32ThemeSettings theme_;
    PanelView view_;
    // The length the host last heard of.
    std::int32_t reportedLength_ = 0;
    MeterAccessibility accessibility_;
};

// The shared messages of a host's window, answered by its panel window; a host whose panel
// window could not be made still paints the parent's background.
bool answerPanelMessage(PanelWindow* panel, HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                        LRESULT& result) noexcept;

// Vertical when `host`'s client area is taller than wide (a square is horizontal).
BandDirection bandDirectionOf(HWND host) noexcept;

// ShellExecuteW with the default verb and the launch's parameters; failures are silent,
// and nothing is started when there is no program.
void launch(const std::optional<Launch>& program) noexcept;
void startTaskManager() noexcept;

// What a left click at `point` of the window's client area does: the click of the group
// under it; Task Manager outside every group and while no configuration is shown.
GroupClick groupClickAt(const PanelWindow* panel, POINT point) noexcept;
// Starts what clickLaunch names for this module.
void launchClick(GroupClick click) noexcept;

}  // namespace tavisto::window
