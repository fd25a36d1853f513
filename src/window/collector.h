#pragma once
// The collector: one thread per panel window that runs the panel's PDH collections, so
// that a provider which stalls collection (thousands of "GPU Engine" instances, a
// driver that hangs) never holds the window's thread, which Explorer's taskbar depends
// on. The window's thread asks for a collection and returns at once; the collector
// posts the outcome back, and the window's thread reads the values (formatted reads are
// cheap, and nothing collects that query meanwhile) and draws.

#include <windows.h>

#include <cstdint>
#include <memory>

#include "platform/platform.h"
#include "platform/win32/handles.h"
#include "platform/win32/pdh_counter_queries.h"

namespace tavisto::window {

// The message the collector posts to the window when a collection returns: wParam the
// ticket it was asked with, lParam 1 when it succeeded. Hand it to MeterPanel::collected.
inline constexpr UINT kCollectedMessage = WM_USER + 2;

class Collector final : public platform::CollectionQueue {
  public:
    // Collects the queries of `queries` for `window`. The thread starts with the first
    // collection, so a panel that shows no counters of the system's performance data
    // never has one.
    Collector(HWND window, win32::PdhCounterQueries& queries);
    // Stops the thread: an idle one is waited for a short, bounded while, one in a
    // collection not at all; it ends once the collection returns, closing the query it
    // was handed. It holds a reference to the module and to all it uses, and posts
    // nothing once this returns.
    ~Collector() override;
    Collector(const Collector&) = delete;
    Collector& operator=(const Collector&) = delete;

    bool collect(platform::QueryHandle query, std::uint64_t ticket) noexcept override;
    void closeAfterCollection(platform::QueryHandle query) noexcept override;

  private:
    // Everything the thread touches, shared with it so that it outlives this object
    // when the thread does.
    class Work;
    bool startThread() noexcept;

    win32::PdhCounterQueries& queries_;
    std::shared_ptr<Work> work_;
    win32::KernelHandle thread_;
};

}  // namespace tavisto::window
