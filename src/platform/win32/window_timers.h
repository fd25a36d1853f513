#pragma once
// Timers of one window through SetTimer with a shared TIMERPROC. The TIMERPROC finds
// the timers object by the window it is called for and the callback by the timer's
// identifier, so a timer never reaches a destroyed object or another window's.

#include <map>

#include <windows.h>

#include "platform/platform.h"

namespace tavisto::win32 {

// One object per window. Destroying it kills its timers.
class Win32WindowTimers final : public platform::WindowTimers {
  public:
    explicit Win32WindowTimers(HWND window);
    ~Win32WindowTimers() override;
    Win32WindowTimers(const Win32WindowTimers&) = delete;
    Win32WindowTimers& operator=(const Win32WindowTimers&) = delete;

    void setTimer(std::uint64_t timerId, std::uint32_t elapseMilliseconds,
                  Callback onElapsed) override;
    void killTimer(std::uint64_t timerId) override;

  private:
    static void CALLBACK timerProc(HWND window, UINT message, UINT_PTR timerId,
                                   DWORD time) noexcept;
    void elapsed(std::uint64_t timerId) noexcept;

    HWND window_;
    std::map<std::uint64_t, Callback> callbacks_;
};

}  // namespace tavisto::win32
