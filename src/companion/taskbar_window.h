#pragma once
// One taskbar's meters: a layered window made a child of the taskbar, showing the meters
// of the panel source every taskbar window shares. The host (TaskbarHost) decides where
// it goes.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "companion/placement.h"
#include "config/taskbar_settings.h"
#include "core/texts.h"
#include "platform/win32/handles.h"
#include "platform/win32/layered_frame.h"
#include "render/spoken_values.h"
#include "tavisto_identifiers.h"
#include "window/panel_window.h"
#include "window/window_procedure.h"

namespace tavisto::companion {

inline constexpr wchar_t kTaskbarWindowClass[] = TAVISTO_TASKBAR_WINDOW_CLASS;

// Messages the taskbar windows post to their host's control window.
inline constexpr UINT kConfigurationReloaded = WM_APP + 1;
// Sent with the screen point of the context-menu gesture in lParam.
inline constexpr UINT kShowMenu = WM_APP + 2;
inline constexpr UINT kTaskbarWindowGone = WM_APP + 3;
// The taskbar's monitor changed scale under the window: re-check and re-place.
inline constexpr UINT kTaskbarChanged = WM_APP + 4;
// A left click on a group whose click opens Show values: the host opens its window.
inline constexpr UINT kShowValuesClicked = WM_APP + 5;

// Registered message: a test sends it with its own window in wParam and receives the
// frame last shown, as WM_COPYDATA (kFrameCopyData: two 32-bit integers, width and
// height, then top-down rows of premultiplied 0xAARRGGBB). Layered pixels cannot be
// read back from the screen everywhere, Wine's X11 desktop among them. Any process may
// ask: at most one answer per kFrameAnswerInterval (a request that comes sooner is
// answered when the interval is over, replacing one already waiting), each waiting at
// most kFrameAnswerTimeout for the requester.
inline constexpr wchar_t kFrameRequestMessage[] = L"TavistoTaskbarFrame";
inline constexpr ULONG_PTR kFrameCopyData = 0x54415646;  // "TAVF"
inline constexpr DWORD kFrameAnswerInterval = 250;
inline constexpr UINT kFrameAnswerTimeout = 100;

// Registers the window class of this module once; false when it cannot be.
bool registerTaskbarWindowClass() noexcept;

class TaskbarWindow : private window::WindowProcedure<TaskbarWindow>, private window::PanelHost {
  public:
    // Creates the window and makes it a child of `taskbar`; null with the reason in
    // `failure`, in the language of `texts`, when the window cannot be created or the
    // taskbar refuses it.
    static std::unique_ptr<TaskbarWindow> attach(HWND taskbar, bool primary, HWND host,
                                                 const TextTable& texts, std::u16string& failure);
    ~TaskbarWindow();
    TaskbarWindow(const TaskbarWindow&) = delete;
    TaskbarWindow& operator=(const TaskbarWindow&) = delete;

    HWND taskbar() const noexcept { return taskbar_; }
    using WindowProcedure::window;
    // The window still exists and is still the taskbar's child.
    bool attached() const noexcept;
    // Whether the panel shows a configuration.
    bool showsMeters() const noexcept { return panel_ && panel_->panel() != nullptr; }
    // Lays the meters out again when the monitor's scale is no longer the one they were
    // laid out for; the configuration is not loaded again.
    void followScale() noexcept;
    // Sizes and moves the window where the settings put it, when it is not there yet.
    void place(const TaskbarSettings& settings) noexcept;
    // Each group's name and what its meters show now; empty without a panel.
    std::vector<SpokenGroup> spokenValues() const;
    // The taskbar turned light or dark: "auto" colours are drawn again, without a reload.
    void redrawForTheme() noexcept;

  private:
    friend bool registerTaskbarWindowClass() noexcept;
    friend class window::WindowProcedure<TaskbarWindow>;
    static constexpr char kFailurePlace[] = "the taskbar window";
    TaskbarWindow(HWND taskbar, bool primary, HWND host) noexcept
        : taskbar_(taskbar), primary_(primary), host_(host) {}

    bool handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // Along the taskbar it is a child of.
    BandDirection panelDirection() noexcept override;
    // The host, told of the reload too, places every window again.
    void panelReloaded(bool) noexcept override {}
    void present() noexcept;
    void requestFrame(HWND requester) noexcept;
    void sendFrame(HWND requester) noexcept;
    TaskbarShape shape() const noexcept;

    const HWND taskbar_;
    const bool primary_;
    const HWND host_;
    std::unique_ptr<window::PanelWindow> panel_;
    win32::LayeredFrame frame_;
    ULONGLONG lastFrameAnswer_ = 0;
    HWND waitingRequester_ = nullptr;
};

}  // namespace tavisto::companion
