#include "companion/taskbar_window.h"

#include <cstring>
#include <utility>
#include <vector>

#include "companion/taskbar_finder.h"
#include "core/failure_sink.h"
#include "core/text_conversion.h"
#include "platform/win32/handles.h"
#include "platform/win32/system_services.h"
#include "window/module_file.h"

namespace tavisto::companion {
namespace {

constexpr UINT_PTR kFrameAnswerTimer = 1;

UINT frameRequestMessage() noexcept {
    static const UINT message = RegisterWindowMessageW(kFrameRequestMessage);
    return message;
}

Rect clientOf(HWND window) noexcept {
    RECT client{};
    GetClientRect(window, &client);
    return {client.left, client.top, client.right, client.bottom};
}

}  // namespace

bool registerTaskbarWindowClass() noexcept {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &TaskbarWindow::procedure;
    windowClass.hInstance = window::thisModule();
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kTaskbarWindowClass;
    return RegisterClassW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

std::unique_ptr<TaskbarWindow> TaskbarWindow::attach(HWND taskbar, bool primary, HWND host,
                                                     const TextTable& texts,
                                                     std::u16string& failure) {
    // Read first: the call that failed left its error for this thread.
    const auto withError = [&](TextId id) {
        const std::u16string code = utf8ToUtf16(std::to_string(GetLastError()));
        return fillText(text(texts, id), {{u"code", code}});
    };
    std::unique_ptr<TaskbarWindow> attached(new TaskbarWindow(taskbar, primary, host));
    RECT screen{};
    GetWindowRect(taskbar, &screen);
    // Created over the taskbar, so that the panel takes the scale of its monitor; a
    // hidden tool window, so it never has a taskbar button of its own. No parent
    // notification: destroying a child would send one to the taskbar, which may be an
    // old one that no longer answers.
    const HWND created =
        CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE | WS_EX_NOPARENTNOTIFY,
                        kTaskbarWindowClass, L"Tavisto", WS_POPUP, screen.left, screen.top, 0, 0,
                        nullptr, nullptr, window::thisModule(), attached.get());
    if (created == nullptr) {
        failure = withError(TextId::TaskbarLogWindowNotCreated);
        return nullptr;
    }
    // A window becomes another window's child only as a child window: popup off, child
    // on, before SetParent.
    const auto style = static_cast<LONG_PTR>(GetWindowLongPtrW(created, GWL_STYLE));
    SetWindowLongPtrW(created, GWL_STYLE,
                      (style & ~static_cast<LONG_PTR>(WS_POPUP)) | WS_CHILD | WS_CLIPSIBLINGS);
    SetLastError(0);
    if (SetParent(created, taskbar) == nullptr && GetLastError() != 0) {
        failure = withError(TextId::TaskbarLogWindowNotPlaced);
        return nullptr;
    }
    if (GetParent(created) != taskbar) {
        failure = text(texts, TextId::TaskbarLogWindowNotTaken);
        return nullptr;
    }
    return attached;
}

TaskbarWindow::~TaskbarWindow() {
    // Destroying it here also ends its panel (WM_DESTROY).
    destroyWindow();
}

bool TaskbarWindow::attached() const noexcept {
    return window() != nullptr && IsWindow(window()) && IsWindow(taskbar_) &&
           GetParent(window()) == taskbar_ && isReady(taskbar_);
}

void TaskbarWindow::followScale() noexcept {
    if (window() == nullptr || !panel_ || !panel_->panel()) {
        return;
    }
    // The same measure the panel takes its scale from at each layout.
    if (platform::dpiScaleOf(win32::Win32Screen(window()).dpi()) != panel_->dpiScale()) {
        panel_->layOutAgain();
    }
}

TaskbarShape TaskbarWindow::shape() const noexcept {
    TaskbarShape taskbar;
    taskbar.client = clientOf(taskbar_);
    taskbar.primary = primary_;
    RECT child{};
    if (notificationArea(taskbar_, child)) {
        taskbar.notificationArea = Rect{child.left, child.top, child.right, child.bottom};
    }
    if (startButton(taskbar_, child)) {
        taskbar.visibleBar = Rect{child.left, child.top, child.right, child.bottom};
    }
    taskbar.dpiScale = panel_ && panel_->panel() ? panel_->dpiScale() : 1.0;
    return taskbar;
}

void TaskbarWindow::place(const TaskbarSettings& settings) noexcept {
    const HWND window = this->window();
    if (window == nullptr || !panel_) {
        return;
    }
    // Transparent to clicks across processes only as a layered window that says so:
    // HTTRANSPARENT reaches no further than windows of this thread.
    const auto extended = static_cast<LONG_PTR>(GetWindowLongPtrW(window, GWL_EXSTYLE));
    const LONG_PTR wanted = settings.clickThrough
                                ? extended | WS_EX_TRANSPARENT
                                : extended & ~static_cast<LONG_PTR>(WS_EX_TRANSPARENT);
    if (wanted != extended) {
        SetWindowLongPtrW(window, GWL_EXSTYLE, wanted);
    }
    const TaskbarShape taskbar = shape();
    const bool horizontal = taskbar.client.width() >= taskbar.client.height();
    const Rect current = clientOf(window);
    // The layout reads the window's own size: across the taskbar it must already have
    // the visible bar's thickness when the band length is measured, and along it some
    // room (a window placed before its first load has none).
    const Rect across = placeBand(taskbar, settings, 0);
    const std::int32_t thickness = horizontal ? across.height() : across.width();
    if ((horizontal ? current.height() : current.width()) != thickness ||
        (showsMeters() && (horizontal ? current.width() : current.height()) == 0) ||
        panel_->direction() != (horizontal ? BandDirection::Horizontal : BandDirection::Vertical)) {
        SetWindowPos(window, nullptr, 0, 0, horizontal ? taskbar.client.width() : thickness,
                     horizontal ? thickness : taskbar.client.height(),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    const Rect target = placeBand(taskbar, settings, panel_->bandLength());
    RECT now{};
    GetWindowRect(window, &now);
    MapWindowPoints(nullptr, taskbar_, reinterpret_cast<POINT*>(&now), 2);
    const bool moved = now.left != target.left || now.top != target.top ||
                       now.right != target.right || now.bottom != target.bottom;
    // Above the taskbar's own children, which cover the whole taskbar.
    const bool onTop = GetWindow(taskbar_, GW_CHILD) == window;
    if (moved || !onTop || !IsWindowVisible(window)) {
        SetWindowPos(window, HWND_TOP, target.left, target.top, target.width(), target.height(),
                     SWP_NOACTIVATE | SWP_SHOWWINDOW);
    }
}

std::vector<SpokenGroup> TaskbarWindow::spokenValues() const {
    return panel_ && panel_->panel()
               ? spokenGroups(panel_->panel()->model(), panel_->panel()->samples(),
                              panel_->panel()->numberSeparators())
               : std::vector<SpokenGroup>{};
}

void TaskbarWindow::redrawForTheme() noexcept {
    if (panel_) {
        panel_->layOutAgain();
    }
}

void TaskbarWindow::present() noexcept {
    const Rect client = clientOf(window());
    frame_.present(window(), panel_ ? panel_->surface() : nullptr, client.width(), client.height());
}

void TaskbarWindow::requestFrame(HWND requester) noexcept {
    const ULONGLONG sinceAnswer = GetTickCount64() - lastFrameAnswer_;
    if (sinceAnswer >= kFrameAnswerInterval) {
        sendFrame(requester);
        return;
    }
    if (waitingRequester_ == nullptr &&
        SetTimer(window(), kFrameAnswerTimer, static_cast<UINT>(kFrameAnswerInterval - sinceAnswer),
                 nullptr) == 0) {
        return;
    }
    waitingRequester_ = requester;
}

void TaskbarWindow::sendFrame(HWND requester) noexcept {
    try {
        std::vector<std::uint32_t> message(2 + frame_.pixels().size());
        message[0] = static_cast<std::uint32_t>(frame_.width());
        message[1] = static_cast<std::uint32_t>(frame_.height());
        std::memcpy(message.data() + 2, frame_.pixels().data(),
                    frame_.pixels().size() * sizeof(std::uint32_t));
        COPYDATASTRUCT data{kFrameCopyData,
                            static_cast<DWORD>(message.size() * sizeof(std::uint32_t)),
                            message.data()};
        DWORD_PTR unused = 0;
        SendMessageTimeoutW(requester, WM_COPYDATA, reinterpret_cast<WPARAM>(window()),
                            reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, kFrameAnswerTimeout,
                            &unused);
    } catch (...) {
        // Out of memory: no frame is sent.
        reportCaughtException("sending the frame");
    }
    // Counted from the end of the answer, so that a requester that lets every answer
    // time out holds this thread for well under half of the time.
    lastFrameAnswer_ = GetTickCount64();
}

// Returns true when the message is answered without DefWindowProcW.
bool TaskbarWindow::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                  LRESULT& result) {
    switch (message) {
        case WM_CREATE:
            try {
                panel_ = std::make_unique<window::PanelWindow>(window, panelHost(),
                                                               window::DpiSource::WindowMonitor);
            } catch (...) {
                // Out of memory: the window stays empty.
                reportCaughtException("the taskbar window's panel");
            }
            return false;
        case WM_DESTROY:
            panel_.reset();
            return false;
        case WM_NCDESTROY:
            // Explorer may destroy the window with its taskbar: the host drops this object.
            PostMessageW(host_, kTaskbarWindowGone, 0, 0);
            return false;
        case WM_PAINT: {
            // Only validates: the frame is presented whole, below.
            win32::beginPaint(window);
            present();
            if (panel_) {
                panel_->announceValueChanges();
            }
            result = 0;
            return true;
        }
        case WM_TIMER:
            if (wParam != kFrameAnswerTimer) {
                return false;
            }
            KillTimer(window, kFrameAnswerTimer);
            if (const HWND requester = std::exchange(waitingRequester_, nullptr)) {
                sendFrame(requester);
            }
            result = 0;
            return true;
        case WM_MOUSEACTIVATE:
            // A click must not take the activation away from the user's window.
            result = MA_NOACTIVATE;
            return true;
        case WM_LBUTTONUP: {
            const POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            const GroupClick click = window::groupClickAt(panel_.get(), at);
            // This program has the Show values window; the rest it starts as the band does.
            if (click == GroupClick::ShowValues) {
                PostMessageW(host_, kShowValuesClicked, 0, 0);
            } else {
                window::launchClick(click);
            }
            return false;
        }
        case WM_RBUTTONDOWN:
            // Swallowed: the taskbar must not open its own menu on the way down as well.
            result = 0;
            return true;
        case WM_RBUTTONUP: {
            POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            ClientToScreen(window, &at);
            SendMessageW(host_, kShowMenu, 0, MAKELPARAM(at.x, at.y));
            result = 0;
            return true;
        }
        case WM_DPICHANGED_AFTERPARENT:
            PostMessageW(host_, kTaskbarChanged, 0, 0);
            return false;
        case WM_CONTEXTMENU:
            // Answered here: DefWindowProcW would pass the gesture on to the taskbar.
            SendMessageW(host_, kShowMenu, 0, lParam);
            result = 0;
            return true;
        default:
            if (message == frameRequestMessage() && message != 0) {
                requestFrame(reinterpret_cast<HWND>(wParam));
                result = 1;
                return true;
            }
            break;
    }
    return window::answerPanelMessage(panel_.get(), window, message, wParam, lParam, result);
}

BandDirection TaskbarWindow::panelDirection() noexcept {
    return window::bandDirectionOf(taskbar_);
}

}  // namespace tavisto::companion
