#include "test_window.h"

namespace tavisto::win32::testing {
namespace {

constexpr const wchar_t* kClassName = L"TavistoBackendTestWindow";

ATOM registerTestClass() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    return RegisterClassExW(&windowClass);
}

}  // namespace

Window createTestWindow(int width, int height, Visibility visibility) {
    static const ATOM registered = registerTestClass();
    if (registered == 0) {
        return Window();
    }
    const DWORD style = WS_POPUP | (visibility == Visibility::Shown ? WS_VISIBLE : 0U);
    return Window(CreateWindowExW(0, kClassName, L"Tavisto test", style, 0, 0, width, height,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr));
}

bool pumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMilliseconds) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMilliseconds;
    while (!done()) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            return done();
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now),
                                  QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return true;
}

}  // namespace tavisto::win32::testing
