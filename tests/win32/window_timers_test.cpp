// Window timers: each TIMERPROC call reaches the callback of its own window and
// identifier, and never one that was killed or destroyed.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/win32/window_timers.h"
#include "test_window.h"

namespace tavisto::win32 {
namespace {

using testing::pumpMessagesUntil;

constexpr DWORD kPatience = 3000;

class WindowTimers : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(first);
        ASSERT_TRUE(second);
    }
    Window first = testing::createTestWindow(10, 10);
    Window second = testing::createTestWindow(10, 10);
};

TEST_F(WindowTimers, TimerFiresItsCallbackWithItsIdentifier) {
    Win32WindowTimers timers(first.get());
    std::vector<std::uint64_t> fired;
    timers.setTimer(250, 10, [&](std::uint64_t id) { fired.push_back(id); });
    ASSERT_TRUE(pumpMessagesUntil([&] { return fired.size() >= 2; }, kPatience));
    EXPECT_EQ(fired[0], 250u);
    EXPECT_EQ(fired[1], 250u);
}

TEST_F(WindowTimers, IdentifierZeroWithElapseZeroStillFires) {
    Win32WindowTimers timers(first.get());
    std::vector<std::uint64_t> fired;
    timers.setTimer(0, 0, [&](std::uint64_t id) { fired.push_back(id); });
    ASSERT_TRUE(pumpMessagesUntil([&] { return !fired.empty(); }, kPatience));
    EXPECT_EQ(fired[0], 0u);
}

TEST_F(WindowTimers, KilledTimerNeverFiresAgain) {
    Win32WindowTimers timers(first.get());
    int killedCalls = 0;
    int keptCalls = 0;
    timers.setTimer(1, 10, [&](std::uint64_t) { ++killedCalls; });
    timers.setTimer(2, 10, [&](std::uint64_t) { ++keptCalls; });
    timers.killTimer(1);
    ASSERT_TRUE(pumpMessagesUntil([&] { return keptCalls >= 3; }, kPatience));
    EXPECT_EQ(killedCalls, 0);
}

TEST_F(WindowTimers, SameIdentifierOnTwoWindowsReachesEachWindowsOwnCallback) {
    Win32WindowTimers firstTimers(first.get());
    Win32WindowTimers secondTimers(second.get());
    int firstCalls = 0;
    int secondCalls = 0;
    firstTimers.setTimer(1000, 10, [&](std::uint64_t) { ++firstCalls; });
    secondTimers.setTimer(1000, 10, [&](std::uint64_t) { ++secondCalls; });
    ASSERT_TRUE(pumpMessagesUntil([&] { return firstCalls >= 2 && secondCalls >= 2; }, kPatience));

    // Once the first window's timers are gone, only the second keeps ticking.
    firstTimers.killTimer(1000);
    const int firstBefore = firstCalls;
    const int secondBefore = secondCalls;
    ASSERT_TRUE(pumpMessagesUntil([&] { return secondCalls >= secondBefore + 3; }, kPatience));
    EXPECT_EQ(firstCalls, firstBefore);
}

TEST_F(WindowTimers, DestroyedTimersObjectIsNeverCalled) {
    auto doomed = std::make_unique<Win32WindowTimers>(first.get());
    Win32WindowTimers witness(second.get());
    int doomedCalls = 0;
    int witnessCalls = 0;
    doomed->setTimer(7, 10, [&](std::uint64_t) { ++doomedCalls; });
    witness.setTimer(7, 10, [&](std::uint64_t) { ++witnessCalls; });
    ASSERT_TRUE(pumpMessagesUntil([&] { return doomedCalls >= 1; }, kPatience));
    doomed.reset();
    const int before = doomedCalls;
    const int witnessBefore = witnessCalls;
    ASSERT_TRUE(pumpMessagesUntil([&] { return witnessCalls >= witnessBefore + 3; }, kPatience));
    EXPECT_EQ(doomedCalls, before);
}

TEST_F(WindowTimers, CallbackMayKillItsOwnTimer) {
    Win32WindowTimers timers(first.get());
    int calls = 0;
    timers.setTimer(3, 10, [&](std::uint64_t id) {
        ++calls;
        timers.killTimer(id);
    });
    int witnessCalls = 0;
    timers.setTimer(4, 10, [&](std::uint64_t) { ++witnessCalls; });
    ASSERT_TRUE(pumpMessagesUntil([&] { return witnessCalls >= 4; }, kPatience));
    EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace tavisto::win32
