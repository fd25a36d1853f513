#pragma once
// The settings window's checks, run on a thread of their own so that the window stays
// responsive while a large file is read and checked. Only the newest check's result
// reaches the window: one that a newer request overtook is dropped.

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
    // Asks for the file to be checked as it is now. A check already running goes on,
    // but its result is dropped; requests made meanwhile come to one more check.
    void request() noexcept;
    // The result of the newest request, once; nothing while it is not ready.
    std::optional<ConfigurationStatus> take() noexcept;

  private:
    class Shared;
    static DWORD WINAPI threadMain(void* shared) noexcept;

    std::shared_ptr<Shared> shared_;
    win32::KernelHandle thread_;
};

}  // namespace tavisto::companion
