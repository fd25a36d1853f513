#include "platform/win32/tooltips.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

#include "core/failure_sink.h"
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

}  // namespace

class Win32Tooltips::Tip final : public platform::GroupTooltip {
  public:
    Tip(Window control, Win32Tooltips& owner, TextSource source)
        : control_(std::move(control)), owner_(owner), source_(std::move(source)) {}

    ~Tip() override {
        // Unregistered first: a request the control sends while it goes is left
        // unanswered, so the source is never called during destruction.
        std::erase(owner_.tips_, this);
        TOOLINFOW tool = toolOf(owner_.bandWindow_, Rect{});
        SendMessageW(control_.get(), TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        // control_ destroys the window.
    }

    void moveTo(const Rect& area) override {
        TOOLINFOW tool = toolOf(owner_.bandWindow_, area);
        SendMessageW(control_.get(), TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
    }

    HWND control() const noexcept { return control_.get(); }

    // Points the request at the source's text, kept here: the control copies it from there.
    void answer(NMTTDISPINFOW& request) noexcept {
        try {
            const std::u16string text = source_();
            text_.assign(text.begin(), text.end());
        } catch (...) {
            text_.clear();
            reportCaughtException("a tooltip's text");
        }
        request.hinst = nullptr;
        request.lpszText = text_.data();
    }

  private:
    Window control_;
    Win32Tooltips& owner_;
    TextSource source_;
    std::wstring text_;
};

std::unique_ptr<platform::GroupTooltip> Win32Tooltips::create(TextSource text, const Rect& area) {
    Window control(CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                   WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, bandWindow_,
                                   nullptr, nullptr, nullptr));
    if (!control) {
        return nullptr;
    }
    SetWindowPos(control.get(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE);
    // With a maximum width the control breaks lines at "\n"; a line only wraps when it is
    // wider than the screen.
    SendMessageW(control.get(), TTM_SETMAXTIPWIDTH, 0, GetSystemMetrics(SM_CXSCREEN));
    TOOLINFOW tool = toolOf(bandWindow_, area);
    tool.uFlags = TTF_SUBCLASS;
    tool.lpszText = LPSTR_TEXTCALLBACKW;
    if (SendMessageW(control.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool)) == FALSE) {
        return nullptr;
    }
    auto tip = std::make_unique<Tip>(std::move(control), *this, std::move(text));
    tips_.push_back(tip.get());
    return tip;
}

bool Win32Tooltips::answerTextRequest(LPARAM notification, LRESULT& result) noexcept {
    const auto* header = reinterpret_cast<const NMHDR*>(notification);
    if (header == nullptr || header->code != TTN_GETDISPINFOW) {
        return false;
    }
    const auto asking = std::find_if(tips_.begin(), tips_.end(), [&](const Tip* tip) {
        return tip->control() == header->hwndFrom;
    });
    if (asking == tips_.end()) {
        return false;
    }
    (*asking)->answer(*reinterpret_cast<NMTTDISPINFOW*>(notification));
    result = 0;
    return true;
}

}  // namespace tavisto::win32
