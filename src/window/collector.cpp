#include "window/collector.h"

#include <algorithm>
#include <array>
#include <utility>

#include "platform/win32/module_thread.h"

namespace tavisto::window {
namespace {

// The ticket travels in a message's wParam.
static_assert(sizeof(WPARAM) >= sizeof(std::uint64_t));

// How long the owner waits for an idle thread to end.
constexpr DWORD kStopMilliseconds = 200;
// Collections asked for while another runs wait in a fixed queue, one per rate at most
// (a rate's next tick is skipped until its collection is back); asked beyond it, a tick
// is skipped. A queue that never grows keeps a steady tick free of allocations.
constexpr std::size_t kMostWaiting = 32;

}  // namespace

class Collector::Work {
  public:
    explicit Work(HWND window)
        : window_(window), wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

    bool ready() const noexcept { return static_cast<bool>(wake_); }

    bool enqueue(PDH_HQUERY query, std::uint64_t ticket) noexcept {
        {
            const win32::ExclusiveLock held(lock_);
            if (stopped_ || waiting_ == kMostWaiting) {
                return false;
            }
            queue_[waiting_++] = {query, ticket};
        }
        SetEvent(wake_.get());
        return true;
    }

    // Takes the query over when it is being collected now: the thread closes it when the
    // collection returns. Else drops its waiting request and gives it back (false).
    bool closeWhenCollected(PDH_HQUERY query, win32::PdhCounterQueries& queries) noexcept {
        const win32::ExclusiveLock held(lock_);
        if (query != nullptr && query == collecting_) {
            closeWhenDone_ = queries.take(reinterpret_cast<platform::QueryHandle>(query));
            return true;
        }
        const auto end = queue_.begin() + static_cast<std::ptrdiff_t>(waiting_);
        const auto kept = std::remove_if(queue_.begin(), end, [query](const Request& request) {
            return request.query == query;
        });
        waiting_ = static_cast<std::size_t>(kept - queue_.begin());
        return false;
    }

    // After this, nothing more is posted to the window and nothing more is collected.
    // True when a collection is still running.
    bool stop() noexcept {
        bool collecting = false;
        {
            const win32::ExclusiveLock held(lock_);
            stopped_ = true;
            waiting_ = 0;
            collecting = collecting_ != nullptr;
        }
        SetEvent(wake_.get());
        return collecting;
    }

    void run() noexcept;

  private:
    struct Request {
        PDH_HQUERY query = nullptr;
        std::uint64_t ticket = 0;
    };

    const HWND window_;
    win32::KernelHandle wake_;
    // Held only to change the fields below and to post: never during a collection.
    SRWLOCK lock_ = SRWLOCK_INIT;
    std::array<Request, kMostWaiting> queue_{};
    std::size_t waiting_ = 0;
    PDH_HQUERY collecting_ = nullptr;
    // The query the window let go of while it was being collected.
    win32::PdhQuery closeWhenDone_;
    bool stopped_ = false;
};

void Collector::Work::run() noexcept {
    for (;;) {
        Request next;
        {
            const win32::ExclusiveLock held(lock_);
            if (stopped_) {
                return;
            }
            if (waiting_ > 0) {
                next = queue_[0];
                std::move(queue_.begin() + 1,
                          queue_.begin() + static_cast<std::ptrdiff_t>(waiting_), queue_.begin());
                --waiting_;
                collecting_ = next.query;
            }
        }
        if (next.query == nullptr) {
            WaitForSingleObject(wake_.get(), INFINITE);
            continue;
        }
        const bool collected = win32::collectQueryData(next.query);
        win32::PdhQuery abandoned;
        {
            const win32::ExclusiveLock held(lock_);
            collecting_ = nullptr;
            abandoned = std::move(closeWhenDone_);
            // An abandoned query's outcome has nobody waiting for it.
            if (!stopped_ && !abandoned) {
                PostMessageW(window_, kCollectedMessage, static_cast<WPARAM>(next.ticket),
                             collected ? 1 : 0);
            }
        }
        // Closed here, outside the lock: the collection that used it is over.
    }
}

Collector::Collector(HWND window, win32::PdhCounterQueries& queries)
    : queries_(queries), work_(std::make_shared<Work>(window)) {}

Collector::~Collector() {
    // A thread in a collection is not waited for: it may stall for as long as its
    // provider does, and the taskbar's thread must go on.
    if (!work_->stop() && thread_) {
        WaitForSingleObject(thread_.get(), kStopMilliseconds);
    }
}

bool Collector::startThread() noexcept {
    if (!work_->ready()) {
        return false;
    }
    thread_ = win32::startModuleThread([work = work_]() noexcept { work->run(); }, "the collector");
    return static_cast<bool>(thread_);
}

bool Collector::collect(platform::QueryHandle query, std::uint64_t ticket) noexcept {
    // A thread that could not be started is tried again at the next tick.
    if (!thread_ && !startThread()) {
        return false;
    }
    return work_->enqueue(reinterpret_cast<PDH_HQUERY>(query), ticket);
}

void Collector::closeAfterCollection(platform::QueryHandle query) noexcept {
    if (!work_->closeWhenCollected(reinterpret_cast<PDH_HQUERY>(query), queries_)) {
        queries_.closeQuery(query);
    }
}

}  // namespace tavisto::window
