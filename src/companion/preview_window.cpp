#include "companion/preview_window.h"

#include <algorithm>
#include <new>

#include "config/silent_counters.h"
#include "core/failure_sink.h"
#include "platform/win32/handles.h"
#include "window/module_file.h"

namespace tavisto::companion {

PreviewWindow::~PreviewWindow() {
    // While the panel is still here for WM_DESTROY to end.
    destroyWindow();
}

BandDirection PreviewWindow::panelDirection() noexcept {
    return window::bandDirectionOf(window());
}

void PreviewWindow::panelReloaded(bool) noexcept {
    PostMessageW(GetParent(window()), kPreviewReloaded, 0, 0);
}

// Returns true when the message is answered without DefWindowProcW.
bool PreviewWindow::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                  LRESULT& result) {
    switch (message) {
        case WM_CREATE:
            try {
                panel_ = std::make_unique<window::PanelWindow>(window, panelHost(),
                                                               window::DpiSource::WindowMonitor);
                // The band or the taskbar meters tell of alerts: the preview would tell them twice.
                panel_->source().engine().notifyThrough(nullptr);
            } catch (...) {
                // Out of memory: the preview stays empty.
                reportCaughtException("the preview's panel");
            }
            return false;
        case WM_DESTROY:
            panel_.reset();
            return false;
        case WM_DPICHANGED_AFTERPARENT:
            // The panel takes the monitor's scale at each layout.
            if (panel_) {
                panel_->layOutAgain();
            }
            return false;
        case WM_PAINT:
            window::answerPanelMessage(panel_.get(), window, message, wParam, lParam, result);
            markMetersThatShowNothing();
            return true;
        default:
            break;
    }
    return window::answerPanelMessage(panel_.get(), window, message, wParam, lParam, result);
}

void PreviewWindow::markMetersThatShowNothing() noexcept {
    const PanelView* view = panel_ ? panel_->panel() : nullptr;
    if (view == nullptr) {
        return;
    }
    const PanelModel& model = view->model();
    const win32::WindowDc dc = win32::windowDc(window());
    const win32::GdiBrush warning(CreateSolidBrush(kShowsNothingColour));
    if (!dc || !warning) {
        return;
    }
    const std::size_t placed = std::min(model.meters.size(), view->layout().meters.size());
    for (std::size_t index = 0; index < placed; ++index) {
        if (meterShowsNothing(model.meters[index])) {
            const Rect& meter = view->layout().of(index).rect;
            const RECT outline{meter.left, meter.top, meter.right, meter.bottom};
            FrameRect(dc.get(), &outline, warning.get());
        }
    }
}

std::unique_ptr<PreviewWindow> PreviewWindow::create(HWND parent, int id) noexcept {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &procedure;
    windowClass.hInstance = window::thisModule();
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kPreviewWindowClass;
    if (RegisterClassW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        return nullptr;
    }
    std::unique_ptr<PreviewWindow> preview(new (std::nothrow) PreviewWindow());
    if (!preview || CreateWindowExW(0, kPreviewWindowClass, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0,
                                    0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                    window::thisModule(), preview.get()) == nullptr) {
        return nullptr;
    }
    return preview;
}

}  // namespace tavisto::companion
