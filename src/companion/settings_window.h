#pragma once
// Tavisto.exe without arguments: a small window that shows where the configuration
// file is, whether the band loads it, the meters it draws and what the checker finds in
// it, and offers the actions around it (edit, open its folder, create it from the
// example, Task Manager, the taskbar meters at sign-in).

#include <windows.h>

#include <array>
#include <memory>
#include <string>

#include "companion/background_check.h"
#include "companion/configuration_status.h"
#include "companion/counter_picker.h"
#include "companion/preview_window.h"
#include "companion/show_values_window.h"
#include "platform/win32/gdiplus_session.h"
#include "platform/win32/handles.h"
#include "window/config_watcher.h"
#include "window/window_procedure.h"

namespace tavisto::companion {

class SettingsWindow : private window::WindowProcedure<SettingsWindow> {
  public:
    // For the configuration file in `folder`; with an empty folder (Windows names no
    // application data folder) it reads, watches and creates nothing.
    explicit SettingsWindow(std::wstring folder);
    ~SettingsWindow();
    SettingsWindow(const SettingsWindow&) = delete;
    SettingsWindow& operator=(const SettingsWindow&) = delete;

    // Shows the window and runs until it is closed; returns the exit code.
    int run() noexcept;

  private:
    friend class window::WindowProcedure<SettingsWindow>;
    static constexpr char kFailurePlace[] = "the settings window";
    bool handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    void createControls();
    void applyDpi(UINT dpi);
    // The title, and the texts of the controls that say always the same, in texts_.
    void label();
    // Sizes in pixels at the window's DPI, with the room each text takes in its font.
    struct Metrics {
        int margin;
        int gap;
        int line;
        int button;
        // In the order of the button row.
        std::array<int, 7> buttonWidths;
        int checkBoxWidth;
    };
    Metrics metrics() const;
    // As wide as its texts need, at least its usual size; then lays the controls out.
    void fitToTexts();
    void layout();
    // Asks for a check; its result is shown when it comes.
    void recheck();
    void show(ConfigurationStatus status);
    // The state line, and why the running taskbar meters hold no hotkey when they say so.
    void showStateLine();
    void showPreviewNote();
    // The window's background, with the taskbar's colour behind the preview.
    void eraseBackground(HDC dc) noexcept;
    void command(int control, int code);
    void edit();
    void openFolder();
    void createFile();
    void toggleTaskbarMeters();
    HWND control(int id) const { return GetDlgItem(window(), id); }
    // With the system's text for `error` unless it is 0.
    void showError(const std::wstring& what, DWORD error);

    const std::wstring folder_;
    const std::wstring file_;
    // For the preview's panel, which draws with GDI+ until the window goes; only with a
    // configuration folder, like the preview.
    std::unique_ptr<win32::GdiplusSession> gdiplus_;
    // Both go after the window, which the destructor destroys and which takes their
    // windows with it: the preview is its child, the picker is owned by it. Null when the
    // preview cannot be shown, and until the picker is first opened.
    std::unique_ptr<PreviewWindow> preview_;
    // After the preview, so that it goes first: it reads the preview's panel.
    std::unique_ptr<ShowValuesWindow> values_;
    std::unique_ptr<CounterPicker> picker_;
    win32::GdiFont font_;
    UINT dpi_ = 96;
    // The language it speaks: the user's until a check reads the file's "language", then
    // the last check's.
    const TextTable* texts_;
    ConfigurationStatus status_;
    // When the last file that loaded was written; empty until one loads.
    std::wstring lastLoadedWrittenAt_;
    std::unique_ptr<BackgroundCheck> check_;
    // Whether the timer that marks a long check in the state line is set.
    bool checkingTimer_ = false;
    std::unique_ptr<window::ConfigWatcher> watcher_;
};

// When another Tavisto.exe already shows the settings window, brings that window to the
// front and returns true.
bool bringRunningWindowForward() noexcept;

}  // namespace tavisto::companion
