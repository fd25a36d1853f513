#pragma once
// The configuration watcher: a thread that waits for changes in the configuration
// folder, reads the configuration file when it is among them, and posts the reload
// message to the band window, which takes the text from the watcher. The file is read
// on this thread only: a configuration folder on a share that stops answering holds it,
// never the window's. It never touches the panel or the band object.

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "platform/win32/handles.h"
#include "window/configuration_location.h"

namespace tavisto::window {

// The message the watcher posts; the band window takes the text read (takeRead) and
// reloads the configuration from it. It carries nothing: a message another program
// posts finds nothing to take.
inline constexpr UINT kReloadMessage = WM_USER + 1;

// Whether a ReadDirectoryChangesW result names the configuration file exactly (case
// matters). Records running past `size` end the walk.
bool namesConfigurationFile(const void* records, DWORD size) noexcept;

// Whether a completed wait calls for a reload: the file is named, or the batch came back
// empty, which is how a batch too large for the buffer is reported.
bool changesAskForReload(const void* records, DWORD size) noexcept;

class ConfigWatcher {
  public:
    // Starts watching `folder` for `window` and returns at once. Once the watch is in
    // place the thread reads the file a first time, so that no change is missed between
    // the two. When the folder is missing or cannot be opened the thread reads nothing
    // (a first read finds nothing), waits for it to appear and then reads, since the file
    // may have been written meanwhile. A folder that refuses change notifications (some
    // network folders do) is not watched: the file's presence, size and last write are
    // compared every two seconds instead, and a difference reads it. Each read posts the
    // reload message unless one is still waiting to be taken: reads that come faster
    // than the window takes them leave only the newest.
    ConfigWatcher(std::wstring folder, HWND window);
    // Tells the thread to stop and waits for it, bounded: a thread stuck in the file
    // system (a share that went away) is left to end on its own. It holds a reference
    // to the module and to all it uses, and posts nothing once this returns.
    ~ConfigWatcher();
    ConfigWatcher(const ConfigWatcher&) = delete;
    ConfigWatcher& operator=(const ConfigWatcher&) = delete;

    // False when the thread could not be started.
    bool running() const noexcept { return static_cast<bool>(thread_); }

    // The reload message, on the window's thread: the newest read since the last call;
    // none when there was none (a message posted by someone else).
    std::optional<ConfigurationRead> takeRead() noexcept;
    // Asks the thread to read the file again, as after a change.
    void readAgain() noexcept;

  private:
    // Everything the thread touches, shared with it so that it outlives this object
    // when the thread does.
    class Watch;

    std::shared_ptr<Watch> watch_;
    win32::KernelHandle thread_;
};

}  // namespace tavisto::window
