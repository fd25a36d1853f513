#pragma once
// Group tooltips: one "tooltips_class32" control per group with a single tool over
// the group's rectangle of the band window.

#include <windows.h>

#include "platform/platform.h"

namespace tavisto::win32 {

class Win32Tooltips final : public platform::Tooltips {
  public:
    explicit Win32Tooltips(HWND bandWindow) : bandWindow_(bandWindow) {}
    std::unique_ptr<platform::GroupTooltip> create(std::u16string_view text,
                                                   const Rect& area) override;

  private:
    HWND bandWindow_;
};

}  // namespace tavisto::win32
