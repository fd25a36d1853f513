// The one window procedure of Tavisto's window classes: the owner hears the window from
// its first message to its last, and whatever the owner throws stays out of the window
// manager, gets the default answer and is reported.

#include <gtest/gtest.h>

#include <windows.h>

#include <stdexcept>
#include <string>
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

    bool handleMessage(HWND, UINT message, WPARAM, LPARAM, LRESULT& result) {
        seen.push_back(message);
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
};

// Titled "four": the default procedure answers WM_GETTEXTLENGTH with 4.
win32::Window createOwnedWindow(TestOwner& owner) {
    constexpr wchar_t kClass[] = L"TavistoWindowProcedureTest";
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &TestOwner::procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClass;
    RegisterClassW(&windowClass);
    return win32::Window(CreateWindowExW(0, kClass, L"four", WS_POPUP, 0, 0, 10, 10, nullptr,
                                         nullptr, GetModuleHandleW(nullptr), &owner));
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
    const win32::Window window = createOwnedWindow(owner);
    ASSERT_TRUE(window);
    for (const Case& testCase : cases) {
        reports().clear();
        owner.answer = testCase.answer;
        EXPECT_EQ(SendMessageW(window.get(), WM_GETTEXTLENGTH, 0, 0), testCase.expected)
            << static_cast<int>(testCase.answer);
        EXPECT_EQ(reports(), testCase.reported) << static_cast<int>(testCase.answer);
    }
}

TEST_F(WindowProcedureTest, TheOwnerHearsTheWindowFromItsFirstMessageToItsLast) {
    TestOwner owner;
    win32::Window window = createOwnedWindow(owner);
    ASSERT_TRUE(window);
    EXPECT_EQ(TestOwner::ownerOf(window.get()), &owner);
    ASSERT_FALSE(owner.seen.empty());
    EXPECT_EQ(owner.seen.front(), static_cast<UINT>(WM_NCCREATE));
    window.reset();
    EXPECT_EQ(owner.seen.back(), static_cast<UINT>(WM_NCDESTROY));
    EXPECT_TRUE(reports().empty());
}

}  // namespace
}  // namespace tavisto::window
