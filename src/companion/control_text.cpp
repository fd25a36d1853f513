#include "companion/control_text.h"

#include <commctrl.h>

#include <cwchar>
#include <string>

#include "platform/win32/handles.h"

namespace tavisto::companion {

TextSize controlTextSize(HWND control) {
    const int length = GetWindowTextLengthW(control);
    std::wstring text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    const win32::WindowDc dc = win32::windowDc(control);
    if (!dc) {
        return {};
    }
    const auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    const HGDIOBJ original =
        SelectObject(dc.get(), font != nullptr ? font : GetStockObject(SYSTEM_FONT));
    RECT bounds{0, 0, 0, 0};
    // Measured as the control draws: a static with SS_NOPREFIX draws "&" as it is.
    wchar_t className[16] = {};
    GetClassNameW(control, className, 16);
    const bool prefixes = _wcsicmp(className, WC_STATICW) != 0 ||
                          (GetWindowLongPtrW(control, GWL_STYLE) & SS_NOPREFIX) == 0;
    DrawTextW(dc.get(), text.empty() ? L" " : text.c_str(), -1, &bounds,
              DT_CALCRECT | DT_SINGLELINE | (prefixes ? 0U : DT_NOPREFIX));
    SelectObject(dc.get(), original);
    return {static_cast<int>(bounds.right - bounds.left),
            static_cast<int>(bounds.bottom - bounds.top)};
}

}  // namespace tavisto::companion
