#include "window/panel_window.h"

#include <shellapi.h>

#include <stdexcept>
#include <string>

#include "core/failure_sink.h"
#include "platform/win32/painting.h"
#include "platform/win32/taskbar_theme.h"
#include "render/band_metrics.h"

namespace tavisto::window {

namespace {

std::shared_ptr<PanelSource> sourceOfThisThread() {
    std::shared_ptr<PanelSource> source = PanelSource::ofThisThread();
    if (!source) {
        throw std::runtime_error("the panel source cannot be made");
    }
    return source;
}

}  // namespace

PanelWindow::PanelWindow(HWND window, PanelHost& host, DpiSource dpi)
    : window_(window),
      host_(host),
      source_(sourceOfThisThread()),
      screen_(dpi == DpiSource::WindowMonitor ? window : nullptr),
      bandWindow_(window),
      tooltips_(window),
      surfaces_(window),
      view_({screen_, bandWindow_, tooltips_, surfaces_, theme_}, source_->engine(),
            host.panelDirection()),
      reportedLength_(bandLength()),
      accessibility_(window, *this) {
    source_->join(*this);
}

PanelWindow::~PanelWindow() {
    source_->leave(*this);
}

bool PanelWindow::answer(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) noexcept {
    switch (message) {
        case WM_SIZE:
        case WM_SYSCOLORCHANGE:
            // High contrast on or off: "auto" colours follow its text colour at once.
            layOutAgain();
            return false;
        case WM_SETTINGCHANGE:
            // The taskbar turned light or dark: "auto" colours are drawn again, as a
            // resize draws every meter; the configuration is not read again.
            if (win32::announcesThemeChange(wParam, lParam)) {
                layOutAgain();
            }
            // The regional settings changed: numbers take the locale's separators, and
            // every window of the engine draws again if they changed.
            if (win32::announcesLocaleChange(lParam)) {
                source_->engine().localeChanged();
            }
            return false;
        case WM_PAINT:
        case WM_PRINTCLIENT:
            win32::paintBand(window_,
                             message == WM_PRINTCLIENT ? reinterpret_cast<HDC>(wParam) : nullptr,
                             surface());
            announceValueChanges();
            result = 0;
            return true;
        case WM_ERASEBKGND:
            // The frame covers the whole client area.
            result = 1;
            return true;
        case WM_GETOBJECT:
            result = accessibility_.answer(wParam, lParam);
            return result != 0;
        case WM_NOTIFY:
            // A group's tooltip asks what to show.
            return tooltips_.answerTextRequest(lParam, result);
        default:
            return false;
    }
}

void PanelWindow::sourceReloaded() noexcept {
    if (source_->refusal().empty()) {
        accessibility_.groupsChanged();
    }
    const std::int32_t length = bandLength();
    const bool lengthChanged = length != reportedLength_;
    reportedLength_ = length;
    InvalidateRect(window_, nullptr, FALSE);
    host_.panelReloaded(lengthChanged);
}

void PanelWindow::layOutAgain() noexcept {
    view_.relayout(host_.panelDirection());
    InvalidateRect(window_, nullptr, FALSE);
}

const PanelView* PanelWindow::panel() const noexcept {
    return source_->engine().loaded() ? &view_ : nullptr;
}

std::int32_t PanelWindow::bandLength() const noexcept {
    return panel() != nullptr ? tavisto::bandLength(view_.model(), view_.layout(), direction())
                              : 0;
}

const win32::GdiplusMemorySurface* PanelWindow::surface() const noexcept {
    return panel() != nullptr
               ? dynamic_cast<const win32::GdiplusMemorySurface*>(&view_.surface())
               : nullptr;
}

bool answerPanelMessage(PanelWindow* panel, HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                        LRESULT& result) noexcept {
    if (panel != nullptr) {
        return panel->answer(message, wParam, lParam, result);
    }
    if (message != WM_PAINT && message != WM_PRINTCLIENT) {
        return false;
    }
    win32::paintBand(window, message == WM_PRINTCLIENT ? reinterpret_cast<HDC>(wParam) : nullptr,
                     nullptr);
    result = 0;
    return true;
}

BandDirection bandDirectionOf(HWND host) noexcept {
    RECT client{};
    GetClientRect(host, &client);
    return client.bottom - client.top > client.right - client.left ? BandDirection::Vertical
                                                                   : BandDirection::Horizontal;
}

void launch(const std::optional<Launch>& program) noexcept {
    if (!program) {
        return;
    }
    ShellExecuteW(nullptr, nullptr, program->program.c_str(),
                  program->parameters.empty() ? nullptr : program->parameters.c_str(),
                  program->workingFolder.empty() ? nullptr : program->workingFolder.c_str(),
                  SW_SHOW);
}

void startTaskManager() noexcept {
    try {
        launch(taskManagerLaunch());
    } catch (...) {
        // Out of memory forming the path: Task Manager is simply not started.
        reportCaughtException("starting Task Manager");
    }
}

GroupClick groupClickAt(const PanelWindow* panel, POINT point) noexcept {
    const PanelView* view = panel != nullptr ? panel->panel() : nullptr;
    if (view == nullptr) {
        return GroupClick::TaskManager;
    }
    const std::vector<GroupPlacement>& placed = view->layout().groups;
    const std::vector<MeterGroup>& groups = view->model().groups;
    for (std::size_t group = 0; group < placed.size() && group < groups.size(); ++group) {
        if (placed[group].rect.contains(point.x, point.y)) {
            return groups[group].click;
        }
    }
    return GroupClick::TaskManager;
}

void launchClick(GroupClick click) noexcept {
    try {
        launch(clickLaunch(click, modulePath()));
    } catch (...) {
        // Out of memory forming the path: nothing is started.
        reportCaughtException("starting what a click opens");
    }
}

}  // namespace tavisto::window
