// Group tooltips: one "tooltips_class32" control per group, owned by the band window,
// with a single subclassing tool over the group's rectangle whose text the band window
// gives when the control asks.

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/failure_sink.h"
#include "platform/win32/tooltips.h"
#include "test_window.h"
#include "thread_tooltips.h"

namespace tavisto::win32 {
namespace {

// Hands the band window's notifications to the tooltips, as the panel's window does.
class NotificationRoute {
  public:
    NotificationRoute(HWND band, Win32Tooltips& tooltips) : band_(band) {
        SetWindowSubclass(band, &route, 0, reinterpret_cast<DWORD_PTR>(&tooltips));
    }
    ~NotificationRoute() { RemoveWindowSubclass(band_, &route, 0); }
    NotificationRoute(const NotificationRoute&) = delete;
    NotificationRoute& operator=(const NotificationRoute&) = delete;

  private:
    static LRESULT CALLBACK route(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                  DWORD_PTR tooltips) noexcept {
        LRESULT result = 0;
        if (message == WM_NOTIFY &&
            reinterpret_cast<Win32Tooltips*>(tooltips)->answerTextRequest(lParam, result)) {
            return result;
        }
        return DefSubclassProc(window, message, wParam, lParam);
    }

    HWND band_;
};

std::vector<std::string>& reports() {
    static std::vector<std::string> received;
    return received;
}

void recordReport(std::string_view where, std::string_view what) noexcept {
    reports().push_back(std::string(where) + ": " + std::string(what));
}

// The tooltip controls owned by the window, in Z order.
std::vector<HWND> tooltipsOf(HWND owner) {
    std::vector<HWND> owned = testing::threadTooltips();
    std::erase_if(owned, [&](HWND control) { return GetWindow(control, GW_OWNER) != owner; });
    return owned;
}

struct Tool {
    RECT rect{};
    UINT flags = 0;
};

Tool toolOf(HWND control, HWND owner) {
    TOOLINFOW info{};
    info.cbSize = sizeof(info);
    info.hwnd = owner;
    info.uId = 0;
    Tool tool;
    if (SendMessageW(control, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&info)) != 0) {
        tool.rect = info.rect;
        tool.flags = info.uFlags;
    }
    return tool;
}

// What the control would show now: it asks the band window, as when the tip shows.
std::wstring textOf(HWND control, HWND owner) {
    // The control's own limit for a tip's text.
    wchar_t text[1024] = {};
    TOOLINFOW info{};
    info.cbSize = sizeof(info);
    info.hwnd = owner;
    info.uId = 0;
    info.lpszText = text;
    SendMessageW(control, TTM_GETTEXTW, std::size(text), reinterpret_cast<LPARAM>(&info));
    return text;
}

TEST(Tooltips, GroupTooltipCoversTheGroupAndFollowsItsMoves) {
    const Window band = testing::createTestWindow(200, 40);
    ASSERT_TRUE(band);
    Win32Tooltips tooltips(band.get());

    auto tooltip = tooltips.create([] { return u"Processor and memory"; }, Rect{0, 0, 0, 0});
    ASSERT_NE(tooltip, nullptr);
    const std::vector<HWND> controls = tooltipsOf(band.get());
    ASSERT_EQ(controls.size(), 1u);
    const HWND control = controls[0];
    EXPECT_EQ(SendMessageW(control, TTM_GETTOOLCOUNT, 0, 0), 1);
    EXPECT_NE(GetWindowLongPtrW(control, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_EQ(
        static_cast<DWORD>(GetWindowLongPtrW(control, GWL_STYLE)) & (TTS_NOPREFIX | TTS_ALWAYSTIP),
        static_cast<DWORD>(TTS_NOPREFIX | TTS_ALWAYSTIP));

    Tool tool = toolOf(control, band.get());
    EXPECT_NE(tool.flags & TTF_SUBCLASS, 0u);
    EXPECT_EQ(tool.rect.right, 0);

    tooltip->moveTo(Rect{2, 3, 90, 37});
    tool = toolOf(control, band.get());
    EXPECT_EQ(tool.rect.left, 2);
    EXPECT_EQ(tool.rect.top, 3);
    EXPECT_EQ(tool.rect.right, 90);
    EXPECT_EQ(tool.rect.bottom, 37);

    tooltip.reset();
    EXPECT_FALSE(IsWindow(control));
    EXPECT_TRUE(tooltipsOf(band.get()).empty());
}

// Each control asks its own group's source each time, on two lines when the source
// says so, and a source that throws shows no tip and is reported.
TEST(Tooltips, EachTipShowsWhatItsOwnSourceSaysNow) {
    const Window band = testing::createTestWindow(200, 40);
    ASSERT_TRUE(band);
    Win32Tooltips tooltips(band.get());
    const NotificationRoute route(band.get(), tooltips);

    std::u16string processor = u"Processor\nCPU 3%, Memory 41%";
    const auto sourced = tooltips.create([&] { return processor; }, Rect{0, 0, 100, 40});
    const auto failing = tooltips.create(
        []() -> std::u16string { throw std::runtime_error("no values"); }, Rect{100, 0, 200, 40});
    ASSERT_NE(sourced, nullptr);
    ASSERT_NE(failing, nullptr);
    const std::vector<HWND> controls = tooltipsOf(band.get());
    ASSERT_EQ(controls.size(), 2u);
    const auto textsNow = [&] {
        std::vector<std::wstring> texts;
        for (const HWND control : controls) {
            // Several lines only where the control is given a width to break them in.
            EXPECT_GT(SendMessageW(control, TTM_GETMAXTIPWIDTH, 0, 0), 0);
            texts.push_back(textOf(control, band.get()));
        }
        std::sort(texts.begin(), texts.end());
        return texts;
    };
    const FailureReporter previous = setFailureReporter(recordReport);
    reports().clear();

    EXPECT_EQ(textsNow(), (std::vector<std::wstring>{L"", L"Processor\nCPU 3%, Memory 41%"}));
    processor = u"Processor\nCPU 4%, Memory 40%";
    EXPECT_EQ(textsNow(), (std::vector<std::wstring>{L"", L"Processor\nCPU 4%, Memory 40%"}));
    EXPECT_EQ(reports(), (std::vector<std::string>{"a tooltip's text: no values",
                                                   "a tooltip's text: no values"}));
    setFailureReporter(previous);
}

}  // namespace
}  // namespace tavisto::win32
