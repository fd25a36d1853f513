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

// Whether a completed wait calls for a reload: the file is named, or the batch came back
// empty, which is how a batch too large for the buffer is reported.
bool changesAskForReload(const void* records, DWORD size) noexcept;

class ConfigWatcher {
  public:
    // Starts watching `folder` for `window` and returns once the watch is in place (or
    // the folder was found missing), so that a change made after construction is never
    // missed. When the folder is missing or cannot be opened the thread waits for it to
    // appear and then posts one reload message, since the file may have been written
    // meanwhile. A folder that refuses change notifications (some network folders do)
    // is not watched: the file's presence, size and last write are compared every two
    // seconds instead, and a difference posts the reload message.
    ConfigWatcher(std::wstring folder, HWND window);
    // Tells the thread to stop and waits for it, bounded: a thread stuck in the file
    // system (a share that went away) is left to end on its own. It holds a reference
    // to the module and to all it uses, and posts nothing once this returns.
    ~ConfigWatcher();
    ConfigWatcher(const ConfigWatcher&) = delete;
    ConfigWatcher& operator=(const ConfigWatcher&) = delete;

    // False when the thread could not be started.
    bool running() const noexcept { return static_cast<bool>(thread_); }

  private:
    // Everything the thread touches, shared with it so that it outlives this object
    // when the thread does.
    class Watch;

    std::shared_ptr<Watch> watch_;
    win32::KernelHandle thread_;
};

}  // namespace tavisto::window
