#include "platform/win32/window_timers.h"

#include "core/failure_sink.h"
#include "platform/win32/handles.h"

namespace tavisto::win32 {
namespace {

// The timers object of each window. Band windows may live on different threads of
// the host, so the map is shared under a lock; the objects themselves are used only
// on their window's thread, which is also the thread their TIMERPROC calls run on.
// At namespace scope: a function-local static would take a guard that MinGW's win32
// thread model backs with a semaphore that is never closed, one leaked handle for
// every load of the module into Explorer.
SRWLOCK timersLock = SRWLOCK_INIT;
std::map<HWND, Win32WindowTimers*> timersByWindowMap;

}  // namespace

Win32WindowTimers::Win32WindowTimers(HWND window) : window_(window) {
    const ExclusiveLock held(timersLock);
    timersByWindowMap.insert_or_assign(window_, this);
}

Win32WindowTimers::~Win32WindowTimers() {
    for (const auto& [timerId, callback] : callbacks_) {
        KillTimer(window_, static_cast<UINT_PTR>(timerId));
    }
    const ExclusiveLock held(timersLock);
    auto& map = timersByWindowMap;
    if (const auto entry = map.find(window_); entry != map.end() && entry->second == this) {
        map.erase(entry);
    }
}

void Win32WindowTimers::setTimer(std::uint64_t timerId, std::uint32_t elapseMilliseconds,
                                 Callback onElapsed) {
    // Without a window SetTimer would make a thread timer with an identifier of its own.
    if (window_ == nullptr) {
        return;
    }
    callbacks_.insert_or_assign(timerId, std::move(onElapsed));
    if (SetTimer(window_, static_cast<UINT_PTR>(timerId), elapseMilliseconds, timerProc) == 0) {
        callbacks_.erase(timerId);
    }
}

void Win32WindowTimers::killTimer(std::uint64_t timerId) {
    KillTimer(window_, static_cast<UINT_PTR>(timerId));
    callbacks_.erase(timerId);
}

void CALLBACK Win32WindowTimers::timerProc(HWND window, UINT, UINT_PTR timerId, DWORD) noexcept {
    Win32WindowTimers* timers = nullptr;
    {
        const SharedLock held(timersLock);
        const auto& map = timersByWindowMap;
        if (const auto entry = map.find(window); entry != map.end()) {
            timers = entry->second;
        }
    }
    if (timers != nullptr) {
        timers->elapsed(timerId);
    }
}

void Win32WindowTimers::elapsed(std::uint64_t timerId) noexcept {
    // A WM_TIMER already queued when its timer was killed finds no callback here.
    const auto entry = callbacks_.find(timerId);
    if (entry == callbacks_.end()) {
        return;
    }
    try {
        // A copy, so that a callback which kills its own timer does not destroy
        // itself while it runs.
        const Callback callback = entry->second;
        callback(timerId);
    } catch (...) {
        // The timer procedure is a barrier: nothing may unwind into the dispatcher.
        reportCaughtException("a timer's callback");
    }
}

}  // namespace tavisto::win32
