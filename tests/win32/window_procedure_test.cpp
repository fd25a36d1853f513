// The one window procedure of Tavisto's window classes: the owner hears the window from
// its first message to its last, whatever the owner throws stays out of the window
// manager, gets the default answer and is reported, and the window is the base's to
// hold and to destroy.

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "core/failure_sink.h"
#include "platform/win32/handles.h"
#include "window/window_procedure.h"

namespace tavisto::window {
namespace {

std::vector<std::string>& reports() {
    static std::vector<std::string> received;
    return received;
}

void recordReport(std::string_view where, std::string_view what) noexcept {
    reports().push_back(std::string(where) + ": " + std::string(what));
}

enum class Answer { Answers, Declines, ThrowsStandard, ThrowsOther };

class TestOwner : public WindowProcedure<TestOwner> {
  public:
    static constexpr char kFailurePlace[] = "the test window";
    using WindowProcedure::destroyWindow;
    using WindowProcedure::window;

    bool handleMessage(HWND given, UINT message, WPARAM, LPARAM, LRESULT& result) {
        seen.push_back(message);
        if (message == WM_NCCREATE || message == WM_DESTROY || message == WM_NCDESTROY) {
            // What the owner would read through window() as it handles the message.
            held.push_back(window() == given);
        }
        if (message != WM_GETTEXTLENGTH) {
            return false;
        }
        switch (answer) {
            case Answer::Answers:
                result = 99;
                return true;
            case Answer::Declines:
                return false;
            case Answer::ThrowsStandard:
                throw std::runtime_error("the owner failed");
            case Answer::ThrowsOther:
                throw 7;
        }
        return false;
    }

    Answer answer = Answer::Declines;
    std::vector<UINT> seen;
    // At WM_NCCREATE, WM_DESTROY and WM_NCDESTROY: whether window() was the window.
    std::vector<bool> held;
};

// Records what it hears where it outlives the owner: in the class, not in the object.
class GoneOwner : public WindowProcedure<GoneOwner> {
  public:
    static constexpr char kFailurePlace[] = "the gone test window";
    static constexpr wchar_t kClass[] = L"TavistoWindowProcedureGoneTest";

    bool handleMessage(HWND, UINT message, WPARAM, LPARAM, LRESULT&) {
        heard.push_back(message);
        return false;
    }

    static inline std::vector<UINT> heard;
};

// Titled "four": the default procedure answers WM_GETTEXTLENGTH with 4. The window is
// the owner's; null when it cannot be created.
template <typename Owner>
HWND createOwnedWindow(Owner& owner, HWND parent = nullptr) {
    const wchar_t* const className =
        std::is_same_v<Owner, GoneOwner> ? GoneOwner::kClass : L"TavistoWindowProcedureTest";
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &Owner::procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = className;
    RegisterClassW(&windowClass);
    return CreateWindowExW(0, className, L"four", parent != nullptr ? WS_CHILD : WS_POPUP, 0, 0, 10,
                           10, parent, nullptr, GetModuleHandleW(nullptr), &owner);
}

class WindowProcedureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        reports().clear();
        previous_ = setFailureReporter(recordReport);
    }
    void TearDown() override { setFailureReporter(previous_); }

  private:
    FailureReporter previous_ = nullptr;
};

TEST_F(WindowProcedureTest, WhatTheOwnerThrowsGetsTheDefaultAnswerAndIsReported) {
    struct Case {
        Answer answer;
        LRESULT expected;
        std::vector<std::string> reported;
    };
    const Case cases[] = {
        {Answer::Answers, 99, {}},
        {Answer::Declines, 4, {}},
        {Answer::ThrowsStandard, 4, {"the test window: the owner failed"}},
        {Answer::ThrowsOther, 4, {"the test window: an exception that is not a std::exception"}},
    };
    TestOwner owner;
    const HWND window = createOwnedWindow(owner);
    ASSERT_NE(window, nullptr);
    for (const Case& testCase : cases) {
        reports().clear();
        owner.answer = testCase.answer;
        EXPECT_EQ(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0), testCase.expected)
            << static_cast<int>(testCase.answer);
        EXPECT_EQ(reports(), testCase.reported) << static_cast<int>(testCase.answer);
    }
}

// Whoever destroys the window, the owner hears it from WM_NCCREATE to WM_NCDESTROY and
// reads it through window() until WM_NCDESTROY, which lets go of it.
TEST_F(WindowProcedureTest, TheBaseHoldsTheWindowFromItsFirstMessageUntilItsLast) {
    enum class Destroyer { Owner, Directly, Parent };
    for (const Destroyer destroyer : {Destroyer::Owner, Destroyer::Directly, Destroyer::Parent}) {
        const win32::Window parent(destroyer == Destroyer::Parent
                                       ? CreateWindowExW(0, L"STATIC", nullptr, WS_POPUP, 0, 0, 10,
                                                         10, nullptr, nullptr, nullptr, nullptr)
                                       : nullptr);
        TestOwner owner;
        const HWND window = createOwnedWindow(owner, parent.get());
        ASSERT_NE(window, nullptr) << static_cast<int>(destroyer);
        EXPECT_EQ(owner.window(), window);
        EXPECT_EQ(TestOwner::ownerOf(window), &owner);
        switch (destroyer) {
            case Destroyer::Owner:
                owner.destroyWindow();
                break;
            case Destroyer::Directly:
                DestroyWindow(window);
                break;
            case Destroyer::Parent:
                DestroyWindow(parent.get());
                break;
        }
        EXPECT_FALSE(IsWindow(window)) << static_cast<int>(destroyer);
        EXPECT_EQ(owner.window(), nullptr) << static_cast<int>(destroyer);
        ASSERT_FALSE(owner.seen.empty());
        EXPECT_EQ(owner.seen.front(), static_cast<UINT>(WM_NCCREATE));
        EXPECT_EQ(owner.seen.back(), static_cast<UINT>(WM_NCDESTROY));
        // Held at WM_NCCREATE and WM_DESTROY, let go of by WM_NCDESTROY.
        EXPECT_EQ(owner.held, (std::vector<bool>{true, true, false}))
            << static_cast<int>(destroyer);
    }
    EXPECT_TRUE(reports().empty());
}

// An owner that goes with its window alive takes the window with it, and the window's
// last messages no longer reach the owner that is gone.
TEST_F(WindowProcedureTest, AnOwnerThatGoesDestroysItsWindowWithoutHearingIt) {
    GoneOwner::heard.clear();
    auto owner = std::make_unique<GoneOwner>();
    const HWND window = createOwnedWindow(*owner);
    ASSERT_NE(window, nullptr);
    ASSERT_FALSE(GoneOwner::heard.empty());
    GoneOwner::heard.clear();
    owner.reset();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(GoneOwner::heard, std::vector<UINT>{});
    EXPECT_TRUE(reports().empty());
}

}  // namespace
}  // namespace tavisto::window
