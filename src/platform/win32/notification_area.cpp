#include "platform/win32/notification_area.h"

#include <objbase.h>
#include <shellapi.h>

#include <algorithm>
#include <deque>
#include <optional>
#include <string_view>
#include <utility>

#include "core/failure_sink.h"
#include "platform/win32/module_thread.h"

namespace tavisto::win32 {
namespace {

constexpr UINT kShowMessage = WM_APP + 1;
constexpr UINT kCloseMessage = WM_APP + 2;
constexpr UINT kIconId = 1;
constexpr UINT_PTR kBalloonTimer = 1;
// A balloon whose end the shell never reports (Wine's does not) is taken to have ended
// this long after the user's notification duration.
constexpr UINT kBalloonGraceMilliseconds = 5000;
constexpr ULONG kDefaultNotificationSeconds = 5;
constexpr DWORD kEndMilliseconds = 1000;
constexpr char kFailurePlace[] = "the notification area";

// `text` in a fixed field of the shell's record, cut to fit with its terminator and never
// between the halves of a surrogate pair.
template <std::size_t Size>
void copyCut(wchar_t (&field)[Size], std::u16string_view text) noexcept {
    std::size_t length = text.size();
    if (length >= Size) {
        length = Size - 1;
        if (text[length - 1] >= 0xD800 && text[length - 1] <= 0xDBFF) {
            --length;
        }
    }
    std::copy_n(text.begin(), length, field);
    field[length] = L'\0';
}

// How long a balloon may show before it counts as ended: the user's setting for how long
// notifications stay, and then some.
UINT longestBalloonMilliseconds() noexcept {
    ULONG seconds = 0;
    if (!SystemParametersInfoW(SPI_GETMESSAGEDURATION, 0, &seconds, 0) || seconds == 0) {
        seconds = kDefaultNotificationSeconds;
    }
    return static_cast<UINT>(seconds) * 1000 + kBalloonGraceMilliseconds;
}

Icon loadIcon(HMODULE module, WORD resource, int widthMetric, int heightMetric) noexcept {
    return Icon(static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(resource), IMAGE_ICON,
                                              GetSystemMetrics(widthMetric),
                                              GetSystemMetrics(heightMetric), LR_DEFAULTCOLOR)));
}

// Waits for `thread` to end until `milliseconds` have passed, answering the messages other
// threads send to this one meanwhile: the area's last call to the shell may be waiting on
// this very thread.
void awaitEnd(HANDLE thread, DWORD milliseconds) noexcept {
    const ULONGLONG end = GetTickCount64() + milliseconds;
    for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
        const DWORD woken = MsgWaitForMultipleObjectsEx(1, &thread, static_cast<DWORD>(end - now),
                                                        QS_SENDMESSAGE, 0);
        if (woken != WAIT_OBJECT_0 + 1) {
            return;
        }
        MSG message{};
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

}  // namespace

struct NotificationArea::Shared {
    HMODULE module = nullptr;
    WORD iconResource = 0;
    ClickAction onClick;

    SRWLOCK lock = SRWLOCK_INIT;
    // Under the lock.
    std::deque<platform::AlertNotice> pending;
    // Under the lock: the area's window while it takes messages.
    HWND window = nullptr;
    // Under the lock: the owner is going.
    bool closing = false;
};

namespace {

// The area's thread: its window, its icons and the one notice shown.
class AreaThread {
  public:
    explicit AreaThread(std::shared_ptr<NotificationArea::Shared> shared) noexcept
        : shared_(std::move(shared)),
          smallIcon_(loadIcon(shared_->module, shared_->iconResource, SM_CXSMICON, SM_CYSMICON)),
          largeIcon_(loadIcon(shared_->module, shared_->iconResource, SM_CXICON, SM_CYICON)) {}
    ~AreaThread() {
        removeIcon();
        window_.reset();
        // Fails while another area's window is left; the last one's thread unregisters it.
        UnregisterClassW(kNotificationAreaWindowClass, thisModule());
    }
    AreaThread(const AreaThread&) = delete;
    AreaThread& operator=(const AreaThread&) = delete;

    void run() noexcept {
        if (!createWindow()) {
            return;
        }
        showNext();
        MSG message{};
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            DispatchMessageW(&message);
        }
    }

  private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam,
                                      LPARAM lParam) noexcept {
        if (message == WM_NCCREATE) {
            SetWindowLongPtrW(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(
                                  reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams));
        }
        auto* area = reinterpret_cast<AreaThread*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (area != nullptr) {
            try {
                if (area->handleMessage(message, wParam, lParam)) {
                    return 0;
                }
            } catch (...) {
                reportCaughtException(kFailurePlace);
            }
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    // False when there is no window, or the owner went before it was made.
    bool createWindow() noexcept {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &procedure;
        windowClass.hInstance = thisModule();
        windowClass.lpszClassName = kNotificationAreaWindowClass;
        if (RegisterClassW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            reportFailure(kFailurePlace, "its window class cannot be registered");
            return false;
        }
        window_ = Window(CreateWindowExW(0, kNotificationAreaWindowClass, nullptr, 0, 0, 0, 0, 0,
                                         HWND_MESSAGE, nullptr, thisModule(), this));
        if (!window_) {
            reportFailure(kFailurePlace, "its window cannot be created");
            return false;
        }
        const ExclusiveLock held(shared_->lock);
        if (shared_->closing) {
            return false;
        }
        shared_->window = window_.get();
        return true;
    }

    bool handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
            case WM_TIMER:
                if (wParam != kBalloonTimer) {
                    return false;
                }
                removeIcon();
                showNext();
                return true;
            case kShowMessage:
                showNext();
                return true;
            case kCloseMessage:
                close();
                return true;
            case NotificationArea::kIconMessage:
                // The event is in the low word whichever version of the messages arrives.
                balloonEvent(LOWORD(lParam));
                return true;
            default:
                return false;
        }
    }

    void balloonEvent(UINT event) {
        if (!iconShown_) {
            return;
        }
        switch (event) {
            case NIN_BALLOONUSERCLICK:
                removeIcon();
                if (shared_->onClick) {
                    shared_->onClick();
                }
                showNext();
                break;
            case NIN_BALLOONTIMEOUT:
            case NIN_BALLOONHIDE:
                removeIcon();
                showNext();
                break;
            default:
                break;
        }
    }

    // The next notice that the user wants to see now, once the balloon shown has ended.
    void showNext() noexcept {
        while (!iconShown_) {
            std::optional<platform::AlertNotice> notice = takePending();
            if (!notice) {
                return;
            }
            if (acceptsNotifications()) {
                showBalloon(*notice);
            }
        }
    }

    std::optional<platform::AlertNotice> takePending() noexcept {
        const ExclusiveLock held(shared_->lock);
        if (shared_->closing || shared_->pending.empty()) {
            return std::nullopt;
        }
        std::optional<platform::AlertNotice> notice(std::move(shared_->pending.front()));
        shared_->pending.pop_front();
        return notice;
    }

    // Windows drops its own notifications while the user is presenting, playing full
    // screen, in quiet hours or has focus assist on; so does the area.
    static bool acceptsNotifications() noexcept {
        QUERY_USER_NOTIFICATION_STATE state = QUNS_ACCEPTS_NOTIFICATIONS;
        // Where the state cannot be asked, the balloon's own flag still respects quiet time.
        return FAILED(SHQueryUserNotificationState(&state)) || state == QUNS_ACCEPTS_NOTIFICATIONS;
    }

    NOTIFYICONDATAW iconData() const noexcept {
        NOTIFYICONDATAW data{};
        data.cbSize = sizeof(data);
        data.hWnd = window_.get();
        data.uID = kIconId;
        return data;
    }

    void showBalloon(const platform::AlertNotice& notice) noexcept {
        NOTIFYICONDATAW icon = iconData();
        icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        icon.uCallbackMessage = NotificationArea::kIconMessage;
        icon.hIcon = smallIcon_.get();
        lstrcpynW(icon.szTip, L"Tavisto", ARRAYSIZE(icon.szTip));
        if (!Shell_NotifyIconW(NIM_ADD, &icon)) {
            return;
        }
        iconShown_ = true;
        icon.uVersion = NOTIFYICON_VERSION_4;
        Shell_NotifyIconW(NIM_SETVERSION, &icon);

        NOTIFYICONDATAW balloon = iconData();
        balloon.uFlags = NIF_INFO;
        copyCut(balloon.szInfoTitle, notice.title);
        copyCut(balloon.szInfo, notice.text);
        balloon.dwInfoFlags = NIIF_USER | NIIF_LARGE_ICON | NIIF_RESPECT_QUIET_TIME;
        balloon.hBalloonIcon = largeIcon_.get();
        if (!Shell_NotifyIconW(NIM_MODIFY, &balloon)) {
            removeIcon();
            return;
        }
        SetTimer(window_.get(), kBalloonTimer, longestBalloonMilliseconds(), nullptr);
    }

    void removeIcon() noexcept {
        if (!iconShown_) {
            return;
        }
        KillTimer(window_.get(), kBalloonTimer);
        NOTIFYICONDATAW icon = iconData();
        Shell_NotifyIconW(NIM_DELETE, &icon);
        iconShown_ = false;
    }

    void close() noexcept {
        {
            const ExclusiveLock held(shared_->lock);
            shared_->window = nullptr;
        }
        removeIcon();
        window_.reset();
        PostQuitMessage(0);
    }

    std::shared_ptr<NotificationArea::Shared> shared_;
    Icon smallIcon_;
    Icon largeIcon_;
    Window window_;
    bool iconShown_ = false;
};

void runArea(const std::shared_ptr<NotificationArea::Shared>& shared) noexcept {
    // A click's action may start a program through the shell, which wants an apartment.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    {
        AreaThread area(shared);
        area.run();
    }
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
}

}  // namespace

NotificationArea::NotificationArea(HMODULE module, WORD iconResource, ClickAction onClick)
    : shared_(std::make_shared<Shared>()) {
    shared_->module = module;
    shared_->iconResource = iconResource;
    shared_->onClick = std::move(onClick);
}

NotificationArea::~NotificationArea() {
    if (!thread_) {
        return;
    }
    {
        const ExclusiveLock held(shared_->lock);
        shared_->closing = true;
        if (shared_->window != nullptr) {
            PostMessageW(shared_->window, kCloseMessage, 0, 0);
        }
    }
    awaitEnd(thread_.get(), kEndMilliseconds);
}

void NotificationArea::show(const platform::AlertNotice& notice) noexcept {
    try {
        const ExclusiveLock held(shared_->lock);
        if (shared_->closing || shared_->pending.size() >= kMostPending) {
            return;
        }
        shared_->pending.push_back(notice);
        if (!thread_) {
            thread_ = startModuleThread([shared = shared_]() noexcept { runArea(shared); },
                                        kFailurePlace);
        }
        // Until the window is made, the thread finds the notice when it makes it.
        if (shared_->window != nullptr) {
            PostMessageW(shared_->window, kShowMessage, 0, 0);
        }
    } catch (...) {
        // Out of memory copying the notice: it is dropped.
        reportCaughtException(kFailurePlace);
    }
}

}  // namespace tavisto::win32
