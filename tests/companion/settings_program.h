#pragma once
// The real Tavisto.exe started without arguments, showing its settings window, driven
// from outside through window messages as a user's clicks would; and what the screen
// shows of a window.

#include <windows.h>

#include <string>
#include <vector>

#include "desk_band_host.h"
#include "fake_taskbar.h"
#include "platform/win32/handles.h"

namespace tavisto::companion::testing {

std::wstring windowText(HWND window);
bool startsWith(const std::wstring& text, const wchar_t* prefix);

// What the screen shows of the window, 0x00RRGGBB: the pixels a user sees.
host::Capture screenCapture(HWND window);

// A hidden top-level window of this process of the taskbar meters' class
// (kHostWindowClass), captioned as they caption theirs: what another program may create.
// It is created last, so FindWindowW finds it first.
win32::Window impostorHostWindow(const wchar_t* caption);

// A Tavisto.exe showing its settings window; closed (bounded) at the end.
class SettingsProgram {
  public:
    // `program` is Tavisto.exe's path; without one, TAVISTO_EXE.
    SettingsProgram();
    explicit SettingsProgram(const std::wstring& program);
    ~SettingsProgram();
    SettingsProgram(const SettingsProgram&) = delete;
    SettingsProgram& operator=(const SettingsProgram&) = delete;

    HWND window() const { return window_; }
    HWND control(int id) const { return GetDlgItem(window_, id); }
    std::wstring state() const;
    void click(int id) const { SendMessageW(control(id), BM_CLICK, 0, 0); }
    // Whether the state line starts with `prefix` within a bounded wait.
    bool waitForState(const wchar_t* prefix) const;
    HANDLE process() const { return program_.process(); }

    // The findings list, row by row: severity, line:column, message. The texts are
    // read through memory of the window's own process, as the list view needs.
    std::vector<std::vector<std::wstring>> findings() const;

  private:
    Companion program_;
    HWND window_ = nullptr;
};

}  // namespace tavisto::companion::testing
