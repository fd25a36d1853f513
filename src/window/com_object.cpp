#include "window/com_object.h"

namespace tavisto::window {
namespace {

// Changed only by interlocked operations: DllCanUnloadNow may run on any thread.
LONG lockCount = 0;

}  // namespace

void lockModule() noexcept {
    InterlockedIncrement(&lockCount);
}

void unlockModule() noexcept {
    InterlockedDecrement(&lockCount);
}

bool moduleLocked() noexcept {
    return InterlockedCompareExchange(&lockCount, 0, 0) > 0;
}

}  // namespace tavisto::window
