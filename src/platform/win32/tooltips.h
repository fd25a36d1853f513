#pragma once
// Group tooltips: one "tooltips_class32" control per group with a single tool over
// the group's rectangle of the band window. The text is asked for each time a tip is
// about to show: the control sends TTN_GETDISPINFOW to the band window, whose procedure
// hands it to answerTextRequest.

#include <windows.h>

#include <vector>

#include "platform/platform.h"

namespace tavisto::win32 {

// Its tips must go before it.
class Win32Tooltips final : public platform::Tooltips {
  public:
    explicit Win32Tooltips(HWND bandWindow) : bandWindow_(bandWindow) {}
    Win32Tooltips(const Win32Tooltips&) = delete;
    Win32Tooltips& operator=(const Win32Tooltips&) = delete;

    std::unique_ptr<platform::GroupTooltip> create(TextSource text, const Rect& area) override;

    // The band window's WM_NOTIFY: when it is one of these tips asking for its text, gives
    // it what its source says now and returns true with the message's `result`. A source
    // that throws is reported and the tip shows nothing.
    bool answerTextRequest(LPARAM notification, LRESULT& result) noexcept;

  private:
    class Tip;

    HWND bandWindow_;
    // The tips alive, which register and unregister themselves.
    std::vector<Tip*> tips_;
};

}  // namespace tavisto::win32
