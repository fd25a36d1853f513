#pragma once
// The configuration watcher: a thread that waits for changes in the configuration
// folder and posts the reload message to the band window when the configuration
// file is among them. It never touches the panel or the band object.

#include <windows.h>

#include <memory>
#include <string>

#include "platform/win32/handles.h"

namespace tavisto::window {

// The message the watcher posts; the band window reloads the configuration on it.
inline constexpr UINT kReloadMessage = WM_USER + 1;

// Whether a ReadDirectoryChangesW result names the configuration file exactly (case
// matters). Records running past `size` end the walk.
bool namesConfigurationFile(const void* records, DWORD size) noexcept;

class ConfigWatcher {
  public:
    // Starts watching `folder` for `window` and returns once the watch is in place (or
    // the folder was found missing), so that a change made after construction is never
    // missed. When the folder is missing or cannot be opened the thread waits for it to
    // appear and then posts one reload message, since the file may have been written
    // meanwhile.
    ConfigWatcher(std::wstring folder, HWND window);
    // Signals the thread to stop and waits until it has ended, so the module is never
    // unloaded under it.
    ~ConfigWatcher();
    ConfigWatcher(const ConfigWatcher&) = delete;
    ConfigWatcher& operator=(const ConfigWatcher&) = delete;

    // False when the thread could not be started.
    bool running() const noexcept { return static_cast<bool>(thread_); }

  private:
    enum class Outcome { Stopped, Changed, Failed, TimedOut };
    // The folder's parent (with its separator) and its own name; empty when it has no
    // parent. Formed before the thread starts, which must not allocate: an exception
    // there would end the host process.
    struct FolderName {
        std::wstring parent;
        std::wstring leaf;
    };
    static FolderName splitFolder(const std::wstring& folder);

    static DWORD WINAPI threadMain(void* watcher) noexcept;
    void run() noexcept;
    // Watches the open folder until stopped (false) or until the watch fails (true).
    bool watchFolder(HANDLE folder) noexcept;
    // Returns when the folder may have appeared; false when stopped.
    bool waitForFolder() noexcept;
    // One overlapped ReadDirectoryChangesW on `directory`, waited for together with the
    // stop event; `bytes` is the size of the records in the buffer.
    Outcome waitForChanges(HANDLE directory, DWORD filter, DWORD timeout, DWORD& bytes) noexcept;

    const std::wstring folder_;
    const FolderName folderName_;
    const HWND window_;
    win32::KernelHandle stop_;
    win32::KernelHandle changed_;
    win32::KernelHandle armed_;
    // One buffer for the thread's life: 0x21800 bytes, DWORD-aligned as the records need.
    std::unique_ptr<DWORD[]> buffer_;
    // The thread's own: post a reload as soon as the next watch is in place.
    bool reloadWhenArmed_ = false;
    win32::KernelHandle thread_;
};

}  // namespace tavisto::window
