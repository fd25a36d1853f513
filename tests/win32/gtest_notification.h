#pragma once
// GoogleTest's Notification is built on std::mutex and std::condition_variable,
// which MinGW's win32 thread model does not provide. This replacement is included
// ahead of every GoogleTest header of the Windows build. GoogleTest uses it only to
// release the threads of its own threading helpers, which these tests never start.

#include <atomic>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing::internal {

class Notification {
  public:
    Notification() = default;
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { notified_.store(true, std::memory_order_release); }

    void WaitForNotification() {
        while (!notified_.load(std::memory_order_acquire)) {
        }
    }

  private:
    std::atomic<bool> notified_{false};
};

}  // namespace testing::internal
