// Group tooltips: one "tooltips_class32" control per group, owned by the band window,
// with a single subclassing tool over the group's rectangle.

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/win32/tooltips.h"
#include "test_window.h"

namespace tavisto::win32 {
namespace {

// The tooltip controls owned by the window, in Z order.
std::vector<HWND> tooltipsOf(HWND owner) {
    struct Search {
        HWND owner;
        std::vector<HWND> found;
    } search{owner, {}};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM parameter) -> BOOL {
            auto& wanted = *reinterpret_cast<Search*>(parameter);
            wchar_t name[64] = {};
            GetClassNameW(window, name, 64);
            if (std::wstring(name) == TOOLTIPS_CLASSW &&
                GetWindow(window, GW_OWNER) == wanted.owner) {
                wanted.found.push_back(window);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

struct Tool {
    RECT rect{};
    UINT flags = 0;
    std::wstring text;
};

Tool toolOf(HWND control, HWND owner) {
    wchar_t text[80] = {};
    TOOLINFOW info{};
    info.cbSize = sizeof(info);
    info.hwnd = owner;
    info.uId = 0;
    info.lpszText = text;
    Tool tool;
    if (SendMessageW(control, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&info)) != 0) {
        tool.rect = info.rect;
        tool.flags = info.uFlags;
        tool.text = text;
    }
    return tool;
}

TEST(Tooltips, GroupTooltipCoversTheGroupAndFollowsItsMoves) {
    const Window band = testing::createTestWindow(200, 40);
    ASSERT_TRUE(band);
    Win32Tooltips tooltips(band.get());

    auto tooltip = tooltips.create(u"Processor and memory", Rect{0, 0, 0, 0});
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
    EXPECT_EQ(tool.text, L"Processor and memory");
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

TEST(Tooltips, EachGroupHasItsOwnControlAndText) {
    const Window band = testing::createTestWindow(200, 40);
    ASSERT_TRUE(band);
    Win32Tooltips tooltips(band.get());
    const auto left = tooltips.create(u"left", Rect{0, 0, 100, 40});
    const auto unnamed = tooltips.create(u"", Rect{100, 0, 200, 40});
    ASSERT_NE(left, nullptr);
    ASSERT_NE(unnamed, nullptr);

    std::vector<std::wstring> texts;
    for (const HWND control : tooltipsOf(band.get())) {
        texts.push_back(toolOf(control, band.get()).text);
    }
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_NE(std::find(texts.begin(), texts.end(), L"left"), texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), L""), texts.end());
}

}  // namespace
}  // namespace tavisto::win32
