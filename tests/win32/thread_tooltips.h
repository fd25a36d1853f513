#pragma once
// The tooltip controls the calling thread has made, for tests that look at the tips a
// window shows.

#include <windows.h>

#include <commctrl.h>

#include <string_view>
#include <vector>

namespace tavisto::win32::testing {

inline std::vector<HWND> threadTooltips() {
    std::vector<HWND> found;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM parameter) -> BOOL {
            wchar_t name[64] = {};
            GetClassNameW(window, name, 64);
            if (std::wstring_view(name) == TOOLTIPS_CLASSW) {
                reinterpret_cast<std::vector<HWND>*>(parameter)->push_back(window);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

}  // namespace tavisto::win32::testing
