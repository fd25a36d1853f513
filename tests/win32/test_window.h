#pragma once
// Real windows for the backend tests, and a bounded message pump.

#include <windows.h>

#include <functional>

#include "platform/win32/handles.h"

namespace tavisto::win32::testing {

enum class Visibility { Hidden, Shown };

// A pop-up window whose client area is exactly width × height. Hidden windows are
// quicker: without a window manager, Wine waits up to two seconds for a shown
// window to be unmapped when it is destroyed.
Window createTestWindow(int width, int height, Visibility visibility = Visibility::Hidden);

// Dispatches the thread's messages until `done` returns true or the time is up;
// returns the last value of `done`.
bool pumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMilliseconds);

}  // namespace tavisto::win32::testing
