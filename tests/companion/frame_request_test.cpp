// The frame request any process may send to the companion's window in the taskbar: a
// flood of requests from a requester that does not answer holds the companion only
// briefly, since answers come a few times a second at most, each with a short bound.

#include <gtest/gtest.h>

#include <windows.h>

#include "companion/taskbar_window.h"
#include "desk_band_host.h"
#include "fake_taskbar.h"

namespace tavisto::companion::testing {
namespace {

constexpr DWORD kPromptly = 10000;

// A window whose thread takes no messages until the event is set.
DWORD WINAPI hangWithAWindow(void* release) noexcept {
    const win32::Window window(CreateWindowExW(0, L"STATIC", L"hung", WS_POPUP, 0, 0, 0, 0,
                                               nullptr, nullptr, nullptr, nullptr));
    WaitForSingleObject(static_cast<HANDLE>(release), 4 * kPromptly);
    return 0;
}

TEST(FrameRequest, AFloodFromARequesterThatDoesNotAnswerHoldsTheCompanionOnlyBriefly) {
    host::removeFolder(host::configurationFolder());
    CreateDirectoryW(host::configurationFolder().c_str(), nullptr);
    ASSERT_TRUE(host::writeNewFile(host::configurationFile(), R"json({ "meterGroups": [
        { "meters": [ { "meterType": "text", "width": 30, "refreshRate": 200, "counters": [
        { "counterPath": "(PERFORMANCE_INFORMATION.PhysicalTotal)" } ] } ] } ] })json"));
    const FakeTaskbar taskbar(TaskbarKind::Composition);
    const Companion companion(L"--taskbar");
    // Until the meters are drawn, the frame is empty.
    ASSERT_TRUE(host::pumpUntil(
        [&] {
            return taskbar.meters() != nullptr && rectInParent(taskbar.meters()).right > 0 &&
                   !requestFrame(taskbar.meters()).pixels.empty();
        },
        kPromptly));

    const win32::KernelHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const win32::KernelHandle thread(
        CreateThread(nullptr, 0, hangWithAWindow, release.get(), 0, nullptr));
    HWND hung = nullptr;
    ASSERT_TRUE(host::pumpUntil(
        [&] { return (hung = FindWindowW(L"STATIC", L"hung")) != nullptr; }, kPromptly));
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        host::pumpFor(kFrameAnswerInterval);
        for (int flood = 0; flood < 40; ++flood) {
            PostMessageW(taskbar.meters(), RegisterWindowMessageW(kFrameRequestMessage),
                         reinterpret_cast<WPARAM>(hung), 0);
        }
        // Answered after the first of the flood, in place of all the others.
        const ULONGLONG asked = GetTickCount64();
        EXPECT_FALSE(requestFrame(taskbar.meters()).pixels.empty());
        EXPECT_LT(GetTickCount64() - asked, kFrameAnswerTimeout + kFrameAnswerInterval + 500);
    }
    SetEvent(release.get());
    WaitForSingleObject(thread.get(), kPromptly);
    host::removeFolder(host::configurationFolder());
}

}  // namespace
}  // namespace tavisto::companion::testing
