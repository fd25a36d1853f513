// The frame request any process may send to the companion's window in the taskbar: it
// is answered a few times a second at most, and a requester that does not answer holds
// the companion no longer than the answer's bound.

#include <gtest/gtest.h>

#include <windows.h>

#include "companion/taskbar_window.h"
#include "desk_band_host.h"
#include "fake_taskbar.h"

namespace tavisto::companion::testing {
namespace {

constexpr DWORD kPromptly = 10000;

// Counts the frames that reach its window, which this thread pumps.
class FrameReceiver {
  public:
    FrameReceiver() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &FrameReceiver::procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"TavistoFrameCounter";
        RegisterClassW(&windowClass);
        window_.reset(CreateWindowExW(0, L"TavistoFrameCounter", nullptr, WS_POPUP, 0, 0, 0, 0,
                                      nullptr, nullptr, GetModuleHandleW(nullptr), nullptr));
        SetWindowLongPtrW(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    HWND window() const { return window_.get(); }
    int frames = 0;

  private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam,
                                      LPARAM lParam) noexcept {
        auto* self = reinterpret_cast<FrameReceiver*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message == WM_COPYDATA && self != nullptr &&
            reinterpret_cast<const COPYDATASTRUCT*>(lParam)->dwData == kFrameCopyData) {
            ++self->frames;
            return TRUE;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }
    win32::Window window_;
};

// A window whose thread stops taking messages once it exists, until the object goes.
class HungWindow {
  public:
    HungWindow() : release_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        thread_.reset(CreateThread(nullptr, 0, &HungWindow::main, this, 0, nullptr));
        host::pumpUntil([this] { return window_ != nullptr; }, kPromptly);
    }
    ~HungWindow() {
        SetEvent(release_.get());
        WaitForSingleObject(thread_.get(), kPromptly);
    }
    HWND window() const { return window_; }

  private:
    static DWORD WINAPI main(void* context) noexcept {
        auto* self = static_cast<HungWindow*>(context);
        const win32::Window window(CreateWindowExW(0, L"STATIC", nullptr, WS_POPUP, 0, 0, 0, 0,
                                                   nullptr, nullptr, nullptr, nullptr));
        self->window_ = window.get();
        WaitForSingleObject(self->release_.get(), 4 * kPromptly);
        return 0;
    }
    win32::KernelHandle release_;
    win32::KernelHandle thread_;
    HWND volatile window_ = nullptr;
};

class FrameRequest : public ::testing::Test {
  protected:
    void SetUp() override {
        host::removeFolder(host::configurationFolder());
        CreateDirectoryW(host::configurationFolder().c_str(), nullptr);
        ASSERT_TRUE(host::writeNewFile(host::configurationFile(), R"json({ "meterGroups": [
            { "meters": [ { "meterType": "text", "width": 30, "refreshRate": 200, "counters": [
            { "counterPath": "(PERFORMANCE_INFORMATION.PhysicalTotal)" } ] } ] } ] })json"));
        ASSERT_TRUE(companion.started());
        ASSERT_TRUE(host::pumpUntil([this] { return taskbar.meters() != nullptr; }, kPromptly));
    }
    void TearDown() override { host::removeFolder(host::configurationFolder()); }

    void request(HWND requester) const {
        PostMessageW(taskbar.meters(), RegisterWindowMessageW(kFrameRequestMessage),
                     reinterpret_cast<WPARAM>(requester), 0);
    }

    const FakeTaskbar taskbar{TaskbarKind::Composition};
    const Companion companion{L"--taskbar"};
};

TEST_F(FrameRequest, AFloodIsAnsweredAFewTimesASecond) {
    FrameReceiver receiver;
    for (int flood = 0; flood < 40; ++flood) {
        request(receiver.window());
    }
    host::pumpFor(1000);
    // The first at once and the newest of the rest once the interval is over.
    EXPECT_GE(receiver.frames, 2);
    EXPECT_LE(receiver.frames, static_cast<int>(1000 / kFrameAnswerInterval) + 1);
}

TEST_F(FrameRequest, ARequesterThatDoesNotAnswerHoldsTheCompanionOnlyBriefly) {
    const HungWindow hung;
    ASSERT_NE(hung.window(), nullptr);
    FrameReceiver receiver;
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE(round);
        host::pumpFor(kFrameAnswerInterval);
        // The hung requester is answered first; the receiver's request waits behind it.
        request(hung.window());
        request(receiver.window());
        const ULONGLONG asked = GetTickCount64();
        ASSERT_TRUE(host::pumpUntil([&] { return receiver.frames == round; }, kPromptly));
        EXPECT_LT(GetTickCount64() - asked, kFrameAnswerTimeout + kFrameAnswerInterval + 500);
    }
}

}  // namespace
}  // namespace tavisto::companion::testing
