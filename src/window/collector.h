#pragma once
// The collector: one thread per panel source that runs the engine's query work (opening
// queries, adding counters, collecting and reading them), so that a provider which
// stalls (thousands of "GPU Engine" instances, a driver that hangs, a first add that
// takes seconds) never holds the window's thread, which Explorer's taskbar depends on.
// The window's thread submits work and returns at once; the collector posts
// kCollectedMessage when work is back, and the window's thread takes what is back from
// the collector itself: the message carries nothing another process could forge.

#include <windows.h>

#include <array>
#include <cstddef>
#include <memory>

#include "platform/platform.h"
#include "platform/win32/handles.h"
#include "platform/win32/pdh_counter_queries.h"

namespace tavisto::window {

// Posted when query work is back; hand the work Collector::takeFinished gives to
// PanelEngine::collected.
inline constexpr UINT kCollectedMessage = WM_USER + 2;

class Collector final : public platform::CollectionQueue {
  public:
    // Work submitted at once beyond this many skips its tick; a queue that never grows
    // keeps a steady tick free of allocations.
    static constexpr std::size_t kMostWaiting = 32;
    using Finished = std::array<const platform::QueryWork*, kMostWaiting>;

    // Runs the work of `window`'s panel, whose every call of `queries` and `sensors` it
    // makes. The thread starts with the first submission, so a panel that shows no
    // counters of the system's performance data and no sensors never has one.
    Collector(HWND window, std::shared_ptr<win32::PdhCounterQueries> queries,
              std::shared_ptr<platform::Sensors> sensors);
    // Stops the thread: an idle one is waited for a short, bounded while, one in a run
    // not at all; it ends once the run returns, destroying the work it still holds. It
    // holds a reference to the module and to all it uses, and posts nothing once this
    // returns.
    ~Collector() override;
    Collector(const Collector&) = delete;
    Collector& operator=(const Collector&) = delete;

    bool submit(std::shared_ptr<platform::QueryWork> work) noexcept override;
    void retire(std::shared_ptr<platform::QueryWork> work) noexcept override;

    // kCollectedMessage, on the window's thread: the work back since the last call, in
    // the order it came back; `count` says how many. Only work submitted and not
    // retired is ever in it.
    void takeFinished(Finished& finished, std::size_t& count) noexcept;

  private:
    // Everything the thread touches, shared with it so that it outlives this object
    // when the thread does.
    class Work;
    bool startThread() noexcept;

    std::shared_ptr<Work> work_;
    win32::KernelHandle thread_;
};

}  // namespace tavisto::window
