#include "platform/win32/tooltips.h"

#include <commctrl.h>

#include <string>

#include "platform/win32/handles.h"

namespace tavisto::win32 {
namespace {

static_assert(sizeof(TOOLINFOW) == 72, "the tool record of 64-bit comctl32 version 6");

TOOLINFOW toolOf(HWND bandWindow, const Rect& area) {
    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = bandWindow;
    tool.uId = 0;  // every group has its own control, so one identifier serves all
    tool.rect = {area.left, area.top, area.right, area.bottom};
    return tool;
}

class Win32GroupTooltip final : public platform::GroupTooltip {
  public:
    Win32GroupTooltip(Window control, HWND bandWindow)
        : control_(std::move(control)), bandWindow_(bandWindow) {}

    ~Win32GroupTooltip() override {
        TOOLINFOW tool{};
        tool.cbSize = sizeof(tool);
        tool.hwnd = bandWindow_;
        tool.uId = 0;
        SendMessageW(control_.get(), TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        // The control's owner destroys the window.
    }

    void moveTo(const Rect& area) override {
        TOOLINFOW tool = toolOf(bandWindow_, area);
        SendMessageW(control_.get(), TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
    }

  private:
    Window control_;
    HWND bandWindow_;
};

}  // namespace

std::unique_ptr<platform::GroupTooltip> Win32Tooltips::create(std::u16string_view text,
                                                              const Rect& area) {
    Window control(CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                   WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, bandWindow_,
                                   nullptr, nullptr, nullptr));
    if (!control) {
        return nullptr;
    }
    SetWindowPos(control.get(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE);
    // The control copies the text when the tool is added.
    std::wstring name(text.begin(), text.end());
    TOOLINFOW tool = toolOf(bandWindow_, area);
    tool.uFlags = TTF_SUBCLASS;
    tool.lpszText = name.data();
    SendMessageW(control.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    return std::make_unique<Win32GroupTooltip>(std::move(control), bandWindow_);
}

}  // namespace tavisto::win32
