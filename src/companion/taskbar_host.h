#pragma once
// Tavisto.exe --taskbar: keeps one taskbar window in the primary taskbar (and in each
// secondary taskbar when the configuration asks for all of them), follows the
// taskbars as they move, resize, vanish and come back, and answers the menu.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "companion/show_values_window.h"
#include "companion/taskbar_window.h"
#include "config/hotkey.h"
#include "config/taskbar_settings.h"
#include "core/texts.h"
#include "platform/win32/handles.h"
#include "tavisto_identifiers.h"
#include "window/panel_source.h"
#include "window/window_procedure.h"

namespace tavisto::companion {

inline constexpr wchar_t kHostWindowClass[] = TAVISTO_COMPANION_WINDOW_CLASS;
// The message Explorer broadcasts to top-level windows when its taskbar is created.
inline constexpr wchar_t kTaskbarCreatedMessage[] = L"TaskbarCreated";

// The control window of the running taskbar meters, Tavisto.exe --taskbar: a window of
// kHostWindowClass whose process runs this program's own file. Any program can create a
// window of that class and name it as it likes; such a window is never this one. Null when
// no such window is found.
HWND findRunningHostWindow() noexcept;

class TaskbarHost : private window::WindowProcedure<TaskbarHost>,
                    private window::PanelSource::Reader {
  public:
    // `force`: attach even to a taskbar that hosts desk bands.
    explicit TaskbarHost(bool force) noexcept : force_(force) {}
    ~TaskbarHost();
    TaskbarHost(const TaskbarHost&) = delete;
    TaskbarHost& operator=(const TaskbarHost&) = delete;

    // Runs until Exit is chosen or the taskbar turns out to host desk bands; returns
    // the process's exit code.
    int run() noexcept;

  private:
    friend class window::WindowProcedure<TaskbarHost>;
    static constexpr char kFailurePlace[] = "the companion's control window";
    // True when the message is answered (with 0) without DefWindowProcW.
    bool handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // The taskbar settings of the file are read again once every window has heard of it.
    void sourceReloaded() noexcept override;
    // Twice a second and after every event: drops windows whose taskbar went or that
    // were taken out of it, attaches to the taskbars that have none, re-places the rest
    // (shown, on top of the taskbar's children).
    void check() noexcept;
    void attachTo(HWND taskbar, bool primary);
    // The taskbar settings and hotkey of the configuration's text; a text that is missing
    // or does not parse keeps those in force.
    void readSettings(const nlohmann::json& document) noexcept;
    // Logs why the configuration was refused, once per reason, and that a later one
    // loaded.
    void logRefusal() noexcept;
    void showMenu(LPARAM screenPoint) noexcept;
    // Registers the configuration's hotkey in place of the one registered, and logs why
    // one cannot be: another program may hold it. Never fatal.
    void registerHotkey(const std::optional<Hotkey>& wanted, const std::string& error,
                        const TextTable& texts) noexcept;
    void openValues() noexcept;
    // The language of the menu, the Show values window and the log: the meters' own once
    // a configuration has loaded, else that of the file's "language".
    const TextTable& texts() const;
    void quit(int exitCode) noexcept;

    const bool force_;
    UINT taskbarCreated_ = 0;
    TaskbarSettings settings_;
    // One engine for every taskbar's window: a window that comes or goes adds or removes
    // a view of it, never a query. It outlives the windows.
    std::shared_ptr<window::PanelSource> source_;
    std::vector<std::unique_ptr<TaskbarWindow>> windows_;
    // Back-off after a failed attach: every 2 s for 10 s, then 4 s, 8 s, 16 s.
    int failedAttaches_ = 0;
    ULONGLONG nextAttach_ = 0;
    bool reportedWaiting_ = false;
    // When the taskbar was first seen hosting desk bands; 0: it was not.
    ULONGLONG deskBandSince_ = 0;
    // When the ready taskbar was first seen Plain; 0: it was not.
    ULONGLONG plainSince_ = 0;
    int exitCode_ = 0;
    // The refusal last logged; empty while the configuration loads.
    std::string loggedRefusal_;
    std::optional<Hotkey> hotkey_;  // registered
    std::u16string hotkeyProblem_;  // logged
    std::unique_ptr<ShowValuesWindow> values_;
};

}  // namespace tavisto::companion
