#pragma once
// The settings window's checks, run on a thread of their own so that the window stays
// responsive while a large file is read and checked. Every check's result reaches the
// window, newest last, also while newer requests wait: a file saved again and again,
// faster than a check takes, still gets a status, which the window marks as being checked
// again.

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "companion/configuration_status.h"
#include "platform/win32/handles.h"

namespace tavisto::companion {

class BackgroundCheck {
  public:
    // Starts the thread, idle until the first request. It posts `readyMessage` to
    // `window` whenever a result is ready to take.
    BackgroundCheck(std::wstring file, HWND window, UINT readyMessage);
    // Bounded: a thread still inside a check is left to finish alone with its own
    // state, and posts nothing once this returns.
    ~BackgroundCheck();
    BackgroundCheck(const BackgroundCheck&) = delete;
    BackgroundCheck& operator=(const BackgroundCheck&) = delete;

    // False when the thread could not be started.
    bool running() const noexcept { return static_cast<bool>(thread_); }
    // Asks for the file to be checked as it is now. A check already running goes on;
    // requests made meanwhile come to one more check after it.
    void request() noexcept;
    // The newest result not taken yet, once; nothing when there is none.
    std::optional<ConfigurationStatus> take() noexcept;
    // Whether a request is newer than the newest result: the file is being checked again.
    bool checking() const noexcept;

  private:
    class Shared;
    static DWORD WINAPI threadMain(void* shared) noexcept;

    std::shared_ptr<Shared> shared_;
    win32::KernelHandle thread_;
};

}  // namespace tavisto::companion
