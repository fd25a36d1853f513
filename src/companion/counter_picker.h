#pragma once
// "Counters…": the machine's performance objects, their counters and instances, and the
// configuration fragment for the chosen one, in English names whatever the language of
// Windows, copied to the clipboard.

#include <windows.h>

#include <memory>

#include "core/texts.h"
#include "window/window_procedure.h"

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
    // The labels, each placed before its control so that screen readers name the control
    // by it and its mnemonic moves the focus there.
    kObjectLabel = 311,
    kCounterLabel = 312,
    kInstanceLabel = 313,
    kFragmentLabel = 314,
    kCombineLabel = 316,
};

class CounterPicker : private window::WindowProcedure<CounterPicker> {
  public:
    // Shows a picker owned by the window `owner`, which destroys it when it closes; null
    // when it cannot be shown. It speaks `texts` while it is open.
    static std::unique_ptr<CounterPicker> open(HWND owner, HFONT font, UINT dpi,
                                               const TextTable& texts) noexcept;
    ~CounterPicker();
    CounterPicker(const CounterPicker&) = delete;
    CounterPicker& operator=(const CounterPicker&) = delete;

    // Null once the picker is closed.
    using WindowProcedure::window;
    // Gives the controls a new font, before the old one is deleted.
    void setFont(HFONT font) noexcept;

  private:
    friend class window::WindowProcedure<CounterPicker>;
    static constexpr char kFailurePlace[] = "the counter picker";
    CounterPicker(UINT dpi, const TextTable& texts) noexcept : dpi_(dpi), texts_(texts) {}

    bool handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    const UINT dpi_;
    const TextTable& texts_;
};

}  // namespace tavisto::companion
