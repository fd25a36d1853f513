#include "companion/preview_window.h"

#include <memory>

#include "platform/win32/painting.h"
#include "platform/win32/system_services.h"
#include "platform/win32/taskbar_theme.h"
#include "window/module_file.h"
#include "window/guarded_procedure.h"
#include "window/panel_window.h"

namespace tavisto::companion {
namespace {

window::PanelWindow* panelOf(HWND window) noexcept {
    return reinterpret_cast<window::PanelWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// Replaces the window's panel with one that reads the file anew, at the DPI of the
// window's monitor now. The old one goes first: its timers and tooltips are the window's.
void createPanel(HWND window) noexcept {
    delete panelOf(window);
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    try {
        auto panel = std::make_unique<window::PanelWindow>(window, window::horizontalBandIn(window),
                                                           win32::DpiSource::WindowMonitor);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(panel.release()));
    } catch (...) {
        // Out of memory: the preview stays empty.
    }
    InvalidateRect(window, nullptr, FALSE);
}

// Returns true when the message is answered without DefWindowProcW.
bool handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    window::PanelWindow* panel = panelOf(window);
    switch (message) {
        case WM_CREATE:
            createPanel(window);
            return false;
        case WM_DESTROY:
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            delete panel;
            return false;
        case WM_SIZE:
            if (panel != nullptr) {
                panel->relayout(window::horizontalBandIn(window));
                InvalidateRect(window, nullptr, FALSE);
            }
            return false;
        case WM_PAINT:
        case WM_PRINTCLIENT: {
            const HDC given = message == WM_PRINTCLIENT ? reinterpret_cast<HDC>(wParam) : nullptr;
            if (panel != nullptr) {
                panel->paintBuffered(given);
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
            if (panel == nullptr ||
                platform::dpiScaleOf(win32::Win32Screen(window).dpi()) != panel->dpiScale()) {
                createPanel(window);
                PostMessageW(GetParent(window), kPreviewReloaded, 0, 0);
            }
            return false;
        case WM_SETTINGCHANGE:
            // Sent on by the parent: "auto" colours follow a light or dark taskbar.
            if (panel != nullptr && win32::announcesThemeChange(lParam)) {
                panel->relayout(panel->horizontalBand());
                InvalidateRect(window, nullptr, FALSE);
            }
            return false;
        case window::kReloadMessage:
            if (panel != nullptr) {
                panel->reload();
                InvalidateRect(window, nullptr, FALSE);
            }
            PostMessageW(GetParent(window), kPreviewReloaded, 0, 0);
            return false;
        default:
            return false;
    }
}

}  // namespace

HWND createPreviewWindow(HWND parent, int id) noexcept {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = window::guardedProcedure<handle>;
    windowClass.hInstance = window::thisModule();
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kPreviewWindowClass;
    if (RegisterClassW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        return nullptr;
    }
    return CreateWindowExW(0, kPreviewWindowClass, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0,
                           parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           window::thisModule(), nullptr);
}

bool previewShowsMeters(HWND preview) noexcept {
    const window::PanelWindow* panel = preview != nullptr ? panelOf(preview) : nullptr;
    return panel != nullptr && panel->panel() != nullptr;
}

}  // namespace tavisto::companion
