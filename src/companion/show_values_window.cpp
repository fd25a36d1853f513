#include "companion/show_values_window.h"

#include <commctrl.h>

#include <utility>

#include "core/failure_sink.h"
#include "platform/win32/system_services.h"
#include "window/module_file.h"
#include "window/window_texts.h"

namespace tavisto::companion {
namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMilliseconds = 1000;
constexpr int kTextId = 1;
// The text at one and a half times the size of the system's message font.
constexpr int kFontScalePercent = 150;

// Esc in the text closes the window: an edit control keeps every key to itself.
LRESULT CALLBACK closeOnEscape(HWND text, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                               DWORD_PTR) noexcept {
    if (message == WM_KEYDOWN && wParam == VK_ESCAPE) {
        PostMessageW(GetParent(text), WM_CLOSE, 0, 0);
        return 0;
    }
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(text, &closeOnEscape, 0);
    }
    return DefSubclassProc(text, message, wParam, lParam);
}

}  // namespace

std::wstring valuesText(const TextTable& texts, const std::vector<SpokenGroup>& groups) {
    if (groups.empty()) {
        return window::wideText(texts, TextId::ValuesNotLoaded);
    }
    std::wstring lines;
    for (const SpokenGroup& group : groups) {
        if (!lines.empty()) {
            lines += L"\r\n";
        }
        const std::u16string_view value =
            group.value.empty() ? text(texts, TextId::ValuesNothingShown) : group.value;
        lines += window::wideText(
            fillText(text(texts, group.inAlert ? TextId::ValuesAlertLine : TextId::ValuesLine),
                     {{u"name", group.name}, {u"value", value}}));
    }
    return lines;
}

std::unique_ptr<ShowValuesWindow> ShowValuesWindow::open(ValuesSource source) noexcept {
    try {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &procedure;
        windowClass.hInstance = window::thisModule();
        windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        windowClass.lpszClassName = kShowValuesWindowClass;
        if (RegisterClassW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            return nullptr;
        }
        std::unique_ptr<ShowValuesWindow> opened(new ShowValuesWindow(std::move(source)));
        // The title comes with the first text, in the language of the values.
        if (CreateWindowExW(WS_EX_APPWINDOW, kShowValuesWindowClass, nullptr,
                            WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 560, 320, nullptr,
                            nullptr, window::thisModule(), opened.get()) == nullptr) {
            return nullptr;
        }
        ShowWindow(opened->window(), SW_SHOWNORMAL);
        opened->bringForward();
        return opened;
    } catch (...) {
        reportCaughtException(kFailurePlace);
        return nullptr;
    }
}

ShowValuesWindow::~ShowValuesWindow() {
    destroyWindow();
}

void ShowValuesWindow::bringForward() noexcept {
    const HWND window = this->window();
    if (window == nullptr) {
        return;
    }
    if (IsIconic(window)) {
        ShowWindow(window, SW_RESTORE);
    }
    SetForegroundWindow(window);
    SetFocus(text_);
}

void ShowValuesWindow::refresh() noexcept {
    try {
        const ShownValues values = source_ ? source_() : ShownValues{};
        if (values.texts != titleTexts_) {
            SetWindowTextW(window(), window::wideText(*values.texts, TextId::ValuesTitle).c_str());
            titleTexts_ = values.texts;
        }
        std::wstring text = valuesText(*values.texts, values.groups);
        if (text == shown_) {
            return;
        }
        // The caret and selection stay where the reader left them.
        DWORD start = 0;
        DWORD end = 0;
        SendMessageW(text_, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                     reinterpret_cast<LPARAM>(&end));
        SetWindowTextW(text_, text.c_str());
        SendMessageW(text_, EM_SETSEL, start, end);
        shown_ = std::move(text);
    } catch (...) {
        reportCaughtException(kFailurePlace);
    }
}

void ShowValuesWindow::applyFont() noexcept {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    // The same measure as every other window's scale.
    const auto dpi = static_cast<UINT>(win32::Win32Screen(window()).dpi().vertical);
    if (!SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0,
                                    dpi == 0 ? USER_DEFAULT_SCREEN_DPI : dpi)) {
        return;
    }
    metrics.lfMessageFont.lfHeight = metrics.lfMessageFont.lfHeight * kFontScalePercent / 100;
    win32::GdiFont font(CreateFontIndirectW(&metrics.lfMessageFont));
    if (font) {
        SendMessageW(text_, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
        font_ = std::move(font);
    }
}

bool ShowValuesWindow::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                     LRESULT& result) {
    switch (message) {
        case WM_CREATE:
            text_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_EDITW, nullptr,
                                    WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE |
                                        ES_READONLY | ES_AUTOVSCROLL,
                                    0, 0, 0, 0, window, reinterpret_cast<HMENU>(kTextId),
                                    window::thisModule(), nullptr);
            if (text_ == nullptr) {
                result = -1;
                return true;
            }
            SetWindowSubclass(text_, &closeOnEscape, 0, 0);
            applyFont();
            refresh();
            SetTimer(window, kRefreshTimer, kRefreshMilliseconds, nullptr);
            return false;
        case WM_SIZE:
            MoveWindow(text_, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
            return false;
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE) {
                SetFocus(text_);
            }
            return false;
        case WM_TIMER:
            if (wParam == kRefreshTimer) {
                refresh();
            }
            return false;
        case WM_CTLCOLORSTATIC:
            // A read-only edit control asks as a static one: the text in the window colours,
            // as the user set them or as high contrast sets them.
            SetTextColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOWTEXT));
            SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOW));
            result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
            return true;
        case WM_SETTINGCHANGE:
        case WM_DPICHANGED:
            applyFont();
            InvalidateRect(window, nullptr, TRUE);
            return false;
        case WM_SYSCOLORCHANGE:
            InvalidateRect(window, nullptr, TRUE);
            return false;
        case WM_DESTROY:
            KillTimer(window, kRefreshTimer);
            return false;
        default:
            return false;
    }
}

void showValues(std::unique_ptr<ShowValuesWindow>& slot, ValuesSource source) noexcept {
    if (slot && slot->window() != nullptr) {
        slot->bringForward();
        return;
    }
    slot = ShowValuesWindow::open(std::move(source));
}

}  // namespace tavisto::companion
