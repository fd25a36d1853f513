#include "companion/preview_window.h"

#include <new>

#include "core/failure_sink.h"
#include "platform/win32/painting.h"
#include "platform/win32/system_services.h"
#include "platform/win32/taskbar_theme.h"
#include "window/module_file.h"

namespace tavisto::companion {

PreviewWindow::~PreviewWindow() {
    // While the panel is still here for WM_DESTROY to end.
    destroyWindow();
}

void PreviewWindow::createPanel() noexcept {
    // The old panel goes first: its timers and tooltips are the window's.
    panel_.reset();
    try {
        panel_ = std::make_unique<window::PanelWindow>(window(), window::bandDirectionOf(window()),
                                                       win32::DpiSource::WindowMonitor);
    } catch (...) {
        // Out of memory: the preview stays empty.
        reportCaughtException("the preview's panel");
    }
    InvalidateRect(window(), nullptr, FALSE);
}

// Returns true when the message is answered without DefWindowProcW.
bool PreviewWindow::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                  LRESULT& result) {
    switch (message) {
        case WM_CREATE:
            createPanel();
            return false;
        case WM_DESTROY:
            panel_.reset();
            return false;
        case WM_SIZE:
            if (panel_) {
                panel_->relayout(window::bandDirectionOf(window));
                InvalidateRect(window, nullptr, FALSE);
            }
            return false;
        case WM_PAINT:
        case WM_PRINTCLIENT: {
            const HDC given = message == WM_PRINTCLIENT ? reinterpret_cast<HDC>(wParam) : nullptr;
            if (panel_) {
                panel_->paintBuffered(given);
            } else {
                win32::paintBand(window, given, nullptr);
            }
            result = 0;
            return true;
        }
        case WM_ERASEBKGND:
            result = 1;
            return true;
        case WM_DPICHANGED_AFTERPARENT:
            // The panel takes its scale when it is made, from the same measure.
            if (!panel_ ||
                platform::dpiScaleOf(win32::Win32Screen(window).dpi()) != panel_->dpiScale()) {
                createPanel();
                PostMessageW(GetParent(window), kPreviewReloaded, 0, 0);
            }
            return false;
        case WM_SETTINGCHANGE:
            // Sent on by the parent: "auto" colours follow a light or dark taskbar.
            if (panel_ && win32::announcesThemeChange(wParam, lParam)) {
                panel_->relayout(panel_->direction());
                InvalidateRect(window, nullptr, FALSE);
            }
            return false;
        case window::kCollectedMessage:
            if (panel_) {
                panel_->collected();
            }
            return true;
        case window::kReloadMessage:
            if (panel_ && panel_->reload().read) {
                InvalidateRect(window, nullptr, FALSE);
                PostMessageW(GetParent(window), kPreviewReloaded, 0, 0);
            }
            return false;
        default:
            return false;
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
