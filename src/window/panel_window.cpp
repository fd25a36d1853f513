#include "window/panel_window.h"

#include <shellapi.h>

#include <string>
#include <utility>

#include "core/failure_sink.h"
#include "platform/win32/painting.h"
#include "platform/win32/taskbar_theme.h"
#include "render/band_metrics.h"

namespace tavisto::window {

PanelWindow::PanelWindow(HWND window, PanelHost& host, win32::DpiSource dpi)
    : window_(window),
      host_(host),
      direction_(host.panelDirection()),
      accessibility_(window, *this) {
    try {
        platform_ = std::make_unique<win32::BandWindowPlatform>(window, dpi);
        collector_ = std::make_unique<Collector>(window, platform_->counterQueries());
    } catch (...) {
        // Without backends there is no panel: the window stays empty.
        reportCaughtException("the panel's backends");
    }
    // Without a configuration folder there is nothing to watch, and nothing is read.
    if (!configurationFolder().empty()) {
        try {
            watcher_ = std::make_unique<ConfigWatcher>(configurationFolder(), window);
        } catch (...) {
            // No watcher, nothing read: the window stays empty.
            reportCaughtException("the configuration watcher");
        }
    }
    if (!watcher_ || !watcher_->running()) {
        refusal_ = "the configuration file cannot be watched or read";
    }
}

PanelWindow::~PanelWindow() {
    // The watcher first: it must not post to a window whose panel is going.
    watcher_.reset();
    // A query still being collected is handed to the collector, which closes it when
    // the collection returns; the rest close here.
    panel_.reset();
    collector_.reset();
    platform_.reset();
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
            return false;
        case WM_PAINT:
        case WM_PRINTCLIENT:
            win32::paintBand(window_,
                             message == WM_PRINTCLIENT ? reinterpret_cast<HDC>(wParam) : nullptr,
                             panel_ ? &panel_->surface() : nullptr);
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
        case kCollectedMessage:
            collected();
            result = 0;
            return true;
        case kReloadMessage:
            reload();
            result = 0;
            return true;
        default:
            return false;
    }
}

void PanelWindow::reload() noexcept {
    if (!platform_ || !collector_ || !watcher_) {
        return;
    }
    bool lengthChanged = false;
    try {
        std::optional<ConfigurationRead> read = watcher_->takeRead();
        if (!read) {
            // The message came from someone else, or the read was taken already.
            return;
        }
        lastRead_ = read->text;
        std::optional<std::string>& text = read->text;
        if (!text) {
            refusal_ = "the file cannot be read, or it is over the size limit";
        } else {
            // Measured before a first panel exists (length 0), so that a window that had
            // no configuration reports its new length.
            const std::int32_t before = bandLength();
            std::string refusal;
            if (!panel_) {
                // A text that does not parse or cannot be interpreted leaves the window
                // empty.
                panel_ = MeterPanel::create(platform_->services(), std::move(*text), direction_,
                                            refusal, collector_.get());
            } else {
                // A text that does not parse leaves the panel running as it is.
                refusal = panel_->reload(std::move(*text), direction_);
            }
            refusal_ = std::move(refusal);
            if (refusal_.empty()) {
                accessibility_.groupsChanged();
            }
            lengthChanged = panel_ && bandLength() != before;
            InvalidateRect(window_, nullptr, FALSE);
        }
    } catch (...) {
        // Out of memory while copying the text: nothing changes.
        reportCaughtException("reloading the configuration");
        return;
    }
    host_.panelReloaded(lengthChanged);
}

void PanelWindow::readConfigurationAgain() noexcept {
    if (watcher_) {
        watcher_->readAgain();
    }
}

void PanelWindow::collected() noexcept {
    if (!collector_) {
        return;
    }
    Collector::Finished finished;
    std::size_t count = 0;
    collector_->takeFinished(finished, count);
    for (std::size_t index = 0; index < count && panel_; ++index) {
        panel_->collected(finished[index]);
    }
}

void PanelWindow::layOutAgain() noexcept {
    direction_ = host_.panelDirection();
    if (panel_) {
        panel_->relayout(direction_);
    }
    InvalidateRect(window_, nullptr, FALSE);
}

std::int32_t PanelWindow::bandLength() const noexcept {
    return panel_ ? tavisto::bandLength(panel_->model(), panel_->layout(), direction_) : 0;
}

const win32::GdiplusMemorySurface* PanelWindow::surface() const noexcept {
    return panel_ ? dynamic_cast<const win32::GdiplusMemorySurface*>(&panel_->surface()) : nullptr;
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
    ShellExecuteW(nullptr, nullptr, program->program.c_str(), nullptr,
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

}  // namespace tavisto::window
