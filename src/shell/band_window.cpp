#include "shell/band_window.h"

#include "core/failure_sink.h"
#include "platform/win32/handles.h"
#include "shell/desk_band.h"
#include "shell/module.h"
#include "window/config_watcher.h"
#include "window/configuration_location.h"
#include "window/panel_window.h"

namespace tavisto::shell {

bool CTavisto::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                             LRESULT& result) {
    switch (message) {
        case WM_CREATE:
            windowCreated(window);
            return false;
        case WM_DESTROY:
            windowDestroying();
            return false;
        case WM_SETFOCUS:
            focusChanged(true);
            return false;
        case WM_KILLFOCUS:
            focusChanged(false);
            return false;
        case WM_ERASEBKGND:
            result = compositionEnabled() ? 1 : 0;
            return true;
        case WM_CONTEXTMENU:
            // Answered here so that no menu is shown, even when the launch cannot be
            // prepared: DefWindowProcW would pass the gesture on to the taskbar's menu.
            result = 0;
            try {
                window::launch(window::companionLaunch(window::modulePath()));
            } catch (...) {
                // Out of memory forming the path: the companion is simply not started.
                reportCaughtException("starting the companion");
            }
            return true;
        case WM_LBUTTONUP:
            window::launchClick(window::groupClickAt(
                panelWindow_.get(),
                POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))}));
            return false;
        default:
            break;
    }
    return window::answerPanelMessage(panelWindow_.get(), window, message, wParam, lParam, result);
}

HWND createBandWindow(HWND parent, CTavisto& band) noexcept {
    WNDCLASSW windowClass{};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = &CTavisto::procedure;
    windowClass.hInstance = moduleInstance();
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    // Never seen: the window answers WM_ERASEBKGND itself.
    win32::GdiBrush background(CreateSolidBrush(0x0000FFFF));
    windowClass.hbrBackground = background.get();
    windowClass.lpszClassName = kBandWindowClass;
    // A class registered now owns the brush; one registered before keeps its own.
    if (RegisterClassW(&windowClass) != 0) {
        background.release();
    }
    return CreateWindowExW(0, kBandWindowClass, nullptr,
                           WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, 0, 0, parent,
                           nullptr, moduleInstance(), &band);
}

void unregisterBandWindowClass() noexcept {
    UnregisterClassW(kBandWindowClass, moduleInstance());
}

}  // namespace tavisto::shell
