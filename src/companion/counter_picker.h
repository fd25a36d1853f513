#pragma once
// "Counters…": the machine's performance objects, their counters and instances, and the
// configuration fragment for the chosen one, in English names whatever the language of
// Windows, copied to the clipboard.

#include <windows.h>

namespace tavisto::companion {

inline constexpr wchar_t kCounterPickerClass[] = L"TavistoCounterPickerClass";

enum CounterPickerControl : int {
    kObjectList = 301,
    kCounterList = 302,
    kInstanceList = 303,
    kFragmentText = 304,
    kCopyButton = 305,
    // How the instances of a wildcard instance ("*") combine.
    kCombineList = 306,
};

// Shows the picker owned by `owner` (or brings the open one forward).
void showCounterPicker(HWND owner, HFONT font, UINT dpi) noexcept;

// Gives the open picker's controls a new font, before the old one is deleted.
void setCounterPickerFont(HFONT font) noexcept;

}  // namespace tavisto::companion
