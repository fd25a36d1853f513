#pragma once
// The window procedure of every Tavisto window class. Each window belongs to one object,
// its owner, given to CreateWindowExW as the creation parameter: the procedure keeps the
// owner with the window from WM_NCCREATE, the first message that carries it, to
// WM_NCDESTROY, the last message, and hands every message to the owner. Nothing may
// unwind into the window manager: what the owner throws is reported to the failure sink
// and the message gets the default procedure's answer.

#include <windows.h>

#include "core/failure_sink.h"
#include "platform/win32/handles.h"

namespace tavisto::window {

// The owner derives from WindowProcedure<Owner> (befriending it when its members are
// private), names the procedure's failures in `static constexpr char kFailurePlace[]`,
// and answers
//   bool handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
//                      LRESULT& result);
// true when it answered the message with `result`, false to leave it to DefWindowProcW.
// It sees WM_NCCREATE first and WM_NCDESTROY last (messages a top-level window gets
// before WM_NCCREATE, such as WM_GETMINMAXINFO, have no owner yet); from WM_NCDESTROY on
// the window no longer reaches it, so it may go.
//
// The base owns the window: window() is it from WM_NCCREATE, before the owner sees that
// message, and null from WM_NCDESTROY on, whoever destroyed it (the owner, a parent or
// owner window, another process's taskbar). An owner whose members answer the window's
// last messages calls destroyWindow() in its destructor while they still exist; a window
// still alive when the base goes is destroyed without reaching its owner, gone by then.
template <typename Owner>
class WindowProcedure {
  public:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam,
                                      LPARAM lParam) noexcept {
        Owner* owner = ownerOf(window);
        if (message == WM_NCCREATE) {
            owner =
                static_cast<Owner*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
            if (owner != nullptr) {
                base(*owner).window_.reset(window);
            }
        } else if (message == WM_NCDESTROY) {
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            if (owner != nullptr && base(*owner).window_.get() == window) {
                base(*owner).window_.release();
            }
        }
        if (owner != nullptr) {
            try {
                LRESULT result = 0;
                if (owner->handleMessage(window, message, wParam, lParam, result)) {
                    return result;
                }
            } catch (...) {
                reportCaughtException(Owner::kFailurePlace);
            }
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    // The owner of a window of this class: null before WM_NCCREATE and from
    // WM_NCDESTROY on.
    static Owner* ownerOf(HWND window) noexcept {
        return reinterpret_cast<Owner*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    }

  protected:
    WindowProcedure() = default;
    ~WindowProcedure() {
        if (window_) {
            SetWindowLongPtrW(window_.get(), GWLP_USERDATA, 0);
        }
    }
    WindowProcedure(const WindowProcedure&) = delete;
    WindowProcedure& operator=(const WindowProcedure&) = delete;

    // Null before the window is created and once it is gone.
    HWND window() const noexcept { return window_.get(); }
    // Destroys the window unless it is gone already. Its last messages reach the owner,
    // and window() stays the window until WM_NCDESTROY.
    void destroyWindow() noexcept {
        if (window_) {
            DestroyWindow(window_.get());
        }
    }

  private:
    static WindowProcedure& base(Owner& owner) noexcept { return owner; }

    win32::Window window_;
};

}  // namespace tavisto::window
