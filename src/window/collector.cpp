#include "window/collector.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "core/failure_sink.h"
#include "platform/win32/module_thread.h"

namespace tavisto::window {
namespace {

// How long the owner waits for an idle thread to end.
constexpr DWORD kStopMilliseconds = 200;
// Retired work waiting for the thread: one per rate of a reload, usually far fewer.
constexpr std::size_t kRetiredRoom = 64;

}  // namespace

class Collector::Work {
  public:
    Work(HWND window, std::shared_ptr<win32::PdhCounterQueries> queries,
         std::shared_ptr<platform::Sensors> sensors)
        : queries_(std::move(queries)),
          sensors_(std::move(sensors)),
          window_(window),
          wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
        retired_.reserve(kRetiredRoom);
        dropping_.reserve(kRetiredRoom);
    }
    Work(const Work&) = delete;
    Work& operator=(const Work&) = delete;

    bool ready() const noexcept { return static_cast<bool>(wake_); }

    bool enqueue(std::shared_ptr<platform::QueryWork> work) noexcept {
        {
            const win32::ExclusiveLock held(lock_);
            if (stopped_ || waiting_ == kMostWaiting) {
                return false;
            }
            queue_[waiting_++] = std::move(work);
        }
        SetEvent(wake_.get());
        return true;
    }

    void retire(std::shared_ptr<platform::QueryWork> work) noexcept {
        {
            const win32::ExclusiveLock held(lock_);
            const platform::QueryWork* retiring = work.get();
            forgetFinished(retiring);
            if (retiring == running_) {
                // The thread holds it until the run returns, and lets it go then.
                retiredWhileRunning_ = true;
                return;
            }
            const auto end = queue_.begin() + static_cast<std::ptrdiff_t>(waiting_);
            const auto kept = std::remove(queue_.begin(), end, work);
            waiting_ = static_cast<std::size_t>(kept - queue_.begin());
            std::fill(kept, end, nullptr);
            try {
                retired_.push_back(std::move(work));
            } catch (...) {
                // No room and no memory: the work stays with the caller's reference,
                // destroyed on the window's thread as a last resort.
                reportCaughtException("retiring query work");
                return;
            }
        }
        SetEvent(wake_.get());
    }

    void takeFinished(Finished& finished, std::size_t& count) noexcept {
        const win32::ExclusiveLock held(lock_);
        finished = finished_;
        count = finishedCount_;
        finishedCount_ = 0;
        posted_ = false;
    }

    // After this, nothing more is posted to the window and nothing more is run.
    // True when a run is under way.
    bool stop() noexcept {
        bool running = false;
        {
            const win32::ExclusiveLock held(lock_);
            stopped_ = true;
            running = running_ != nullptr;
        }
        SetEvent(wake_.get());
        return running;
    }

    void run() noexcept;

  private:
    // Called with the lock held.
    void forgetFinished(const platform::QueryWork* work) noexcept {
        const auto end = finished_.begin() + static_cast<std::ptrdiff_t>(finishedCount_);
        finishedCount_ = static_cast<std::size_t>(std::remove(finished_.begin(), end, work) -
                                                  finished_.begin());
    }

    // Declared first, destroyed last: the work closes its queries through them, and a
    // run may still be reading through them when the panel source has gone.
    const std::shared_ptr<win32::PdhCounterQueries> queries_;
    const std::shared_ptr<platform::Sensors> sensors_;
    const HWND window_;
    win32::KernelHandle wake_;
    // Held only to change the fields below and to post: never during a run.
    SRWLOCK lock_ = SRWLOCK_INIT;
    std::array<std::shared_ptr<platform::QueryWork>, kMostWaiting> queue_{};
    std::size_t waiting_ = 0;
    const platform::QueryWork* running_ = nullptr;
    bool retiredWhileRunning_ = false;
    Finished finished_{};
    std::size_t finishedCount_ = 0;
    // A kCollectedMessage is on its way and what is finished has not been taken since.
    bool posted_ = false;
    std::vector<std::shared_ptr<platform::QueryWork>> retired_;
    // The thread's own: retired work it destroys outside the lock.
    std::vector<std::shared_ptr<platform::QueryWork>> dropping_;
    bool stopped_ = false;
};

void Collector::Work::run() noexcept {
    for (;;) {
        std::shared_ptr<platform::QueryWork> next;
        bool stopping = false;
        {
            const win32::ExclusiveLock held(lock_);
            // Both keep their room: swapping moves no element and allocates nothing.
            retired_.swap(dropping_);
            stopping = stopped_;
            if (!stopping && waiting_ > 0) {
                next = std::move(queue_[0]);
                std::move(queue_.begin() + 1,
                          queue_.begin() + static_cast<std::ptrdiff_t>(waiting_), queue_.begin());
                queue_[--waiting_] = nullptr;
                running_ = next.get();
            }
        }
        // Destroyed here, outside the lock: closing a query may wait on its provider.
        dropping_.clear();
        if (stopping) {
            std::array<std::shared_ptr<platform::QueryWork>, kMostWaiting> left;
            {
                const win32::ExclusiveLock held(lock_);
                left = std::move(queue_);
                waiting_ = 0;
            }
            return;
        }
        if (!next) {
            WaitForSingleObject(wake_.get(), INFINITE);
            continue;
        }
        next->run();
        {
            const win32::ExclusiveLock held(lock_);
            running_ = nullptr;
            // Retired work's outcome has nobody waiting for it.
            if (!stopped_ && !retiredWhileRunning_ && finishedCount_ < finished_.size()) {
                finished_[finishedCount_++] = next.get();
                if (!posted_) {
                    posted_ = PostMessageW(window_, kCollectedMessage, 0, 0) != FALSE;
                }
            }
            retiredWhileRunning_ = false;
        }
        // When it was retired meanwhile, the last reference goes here.
        next.reset();
    }
}

Collector::Collector(HWND window, std::shared_ptr<win32::PdhCounterQueries> queries,
                     std::shared_ptr<platform::Sensors> sensors)
    : work_(std::make_shared<Work>(window, std::move(queries), std::move(sensors))) {}

Collector::~Collector() {
    // A thread in a run is not waited for: it may stall for as long as its provider
    // does, and the taskbar's thread must go on.
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

bool Collector::submit(std::shared_ptr<platform::QueryWork> work) noexcept {
    // A thread that could not be started is tried again at the next tick.
    if (!thread_ && !startThread()) {
        return false;
    }
    return work_->enqueue(std::move(work));
}

void Collector::retire(std::shared_ptr<platform::QueryWork> work) noexcept {
    work_->retire(std::move(work));
}

void Collector::takeFinished(Finished& finished, std::size_t& count) noexcept {
    work_->takeFinished(finished, count);
}

}  // namespace tavisto::window
