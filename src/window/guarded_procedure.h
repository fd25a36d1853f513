#pragma once
// A window procedure made of a handler that may throw: nothing may unwind into the window
// manager, so whatever the handler throws leaves the message unhandled and it goes on to
// the default procedure, as does every message the handler does not take.

#include <windows.h>

namespace tavisto::window {

// Returns true when it handled the message, with `result` as the procedure's answer.
using MessageHandler = bool (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                LRESULT& result);

template <MessageHandler handle>
LRESULT CALLBACK guardedProcedure(HWND window, UINT message, WPARAM wParam,
                                  LPARAM lParam) noexcept {
    try {
        LRESULT result = 0;
        if (handle(window, message, wParam, lParam, result)) {
            return result;
        }
    } catch (...) {
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace tavisto::window
