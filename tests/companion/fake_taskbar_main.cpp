// fake-taskbar.exe: shows one of the tests' fake taskbars, so that programs started
// beside it (the setup program, the companion) meet that kind of taskbar, and plays what
// real taskbars do to the windows inside them when told to (FakeCommand).
//   fake-taskbar.exe composition|classic|secondary|plain <milliseconds>
//       [--edge bottom|top|left|right] [--length N] [--thickness N] [--phantom N] [--late-tray]
//       [--linger MS] [--hidden MS] [--hidden-band-host]

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "fake_taskbar.h"
#include "tavisto_identifiers.h"

namespace {

using namespace tavisto::companion::testing;

constexpr wchar_t kBridgeClass[] = L"Windows.UI.Composition.DesktopWindowContentBridge";
constexpr UINT_PTR kShowTimer = 1;

LRESULT CALLBACK taskbarProcedure(HWND, UINT, WPARAM, LPARAM) noexcept;

LRESULT CALLBACK plainProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    return DefWindowProcW(window, message, wParam, lParam);
}

void registerClass(const wchar_t* name, WNDPROC procedure) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    windowClass.lpszClassName = name;
    RegisterClassW(&windowClass);
}

// The taskbar this process shows; one writer, the thread that pumps its messages.
class Taskbar {
  public:
    explicit Taskbar(const Scenario& scenario) : scenario_(scenario) {
        trayLength_ = scenario.lateTray ? 0 : kNotificationWidth;
    }

    HWND root() const { return root_; }

    bool create() {
        root_ = CreateWindowExW(
            WS_EX_TOOLWINDOW,
            scenario_.kind == TaskbarKind::Secondary ? L"Shell_SecondaryTrayWnd" : L"Shell_TrayWnd",
            nullptr, WS_POPUP | WS_CLIPCHILDREN, 0, 0, 0, 0, nullptr, nullptr,
            GetModuleHandleW(nullptr), nullptr);
        if (root_ == nullptr) {
            return false;
        }
        makeChildren();
        layOut();
        // As Explorer does once its taskbar is there, or sometimes before it shows it.
        if (scenario_.hiddenMilliseconds > 0) {
            PostMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
            SetTimer(root_, kShowTimer, scenario_.hiddenMilliseconds, nullptr);
            return true;
        }
        ShowWindow(root_, SW_SHOWNOACTIVATE);
        PostMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
        return true;
    }

    void show() const {
        KillTimer(root_, kShowTimer);
        if (FindWindowExW(root_, nullptr, TAVISTO_TASKBAR_WINDOW_CLASS, nullptr) != nullptr) {
            SetPropW(root_, kEarlyGuestProperty, reinterpret_cast<HANDLE>(1));
        }
        ShowWindow(root_, SW_SHOWNOACTIVATE);
    }

    void obey(FakeCommand command, LPARAM argument) {
        switch (command) {
            case FakeCommand::ResizeTray:
                trayLength_ = static_cast<int>(argument);
                layOut();
                break;
            case FakeCommand::RebuildChildren:
                for (const HWND child : {bridge_, start_, tray_, bandHost_}) {
                    DestroyWindow(child);
                }
                makeChildren();
                // The new notification area need not be as long as the old one.
                if (trayLength_ != 0) {
                    trayLength_ = trayLength_ == kNotificationWidth ? kNotificationWidth + 40
                                                                    : kNotificationWidth;
                }
                layOut();
                // Explorer's new bridge covers everything, windows of others included.
                SetWindowPos(bridge_, HWND_TOP, 0, 0, 0, 0,
                             SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
                break;
            case FakeCommand::Hang:
                Sleep(static_cast<DWORD>(argument));
                break;
            case FakeCommand::Recreate:
                DestroyWindow(root_);
                create();
                break;
            case FakeCommand::MoveTo:
                scenario_.edge = static_cast<TaskbarEdge>(argument);
                layOut();
                break;
            case FakeCommand::End:
                // A shell that is going hides its taskbar first and may stop answering
                // for a while before the window goes.
                ShowWindow(root_, SW_HIDE);
                Sleep(scenario_.lingerMilliseconds);
                DestroyWindow(root_);
                PostQuitMessage(0);
                break;
        }
    }

  private:
    HWND child(const wchar_t* className, DWORD style = 0) const {
        return CreateWindowExW(0, className, nullptr,
                               WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | style, 0, 0, 0, 0, root_,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    // A band host keeps the place it is given: without bands, one that sizes itself
    // would have no area, unlike Explorer's, where the task buttons are.
    HWND bandHost() const { return child(REBARCLASSNAMEW, CCS_NORESIZE | CCS_NOPARENTALIGN); }

    void makeChildren() {
        if (scenario_.kind == TaskbarKind::Classic || scenario_.hiddenBandHost) {
            INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_COOL_CLASSES};
            InitCommonControlsEx(&controls);
        }
        bridge_ = nullptr;
        bandHost_ = nullptr;
        if (scenario_.kind == TaskbarKind::Classic) {
            bridge_ = bandHost();
        } else {
            if (scenario_.kind != TaskbarKind::Plain) {
                bridge_ = child(kBridgeClass);
            }
            start_ = child(L"Start");
        }
        if (scenario_.hiddenBandHost) {
            // Left over, as Windows 11 keeps one: hidden, docking nothing.
            bandHost_ = bandHost();
            ShowWindow(bandHost_, SW_HIDE);
        }
        tray_ = scenario_.kind == TaskbarKind::Secondary || scenario_.kind == TaskbarKind::Plain
                    ? nullptr
                    : child(L"TrayNotifyWnd");
    }

    // Places the root on its edge and the children inside it. The bar the user sees
    // lies against the screen's edge; a phantom part, if any, lies on the inner side.
    void layOut() const {
        const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
        const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
        const bool horizontal =
            scenario_.edge == TaskbarEdge::Bottom || scenario_.edge == TaskbarEdge::Top;
        const int length = std::min(scenario_.length, horizontal ? screenWidth : screenHeight);
        const int full = scenario_.thickness + scenario_.phantom;
        // A secondary taskbar stands one thickness further in, clear of the primary one.
        const int inset = scenario_.kind == TaskbarKind::Secondary ? full : 0;
        int x = 0;
        int y = 0;
        int barFrom = 0;  // where the visible bar starts across the taskbar
        switch (scenario_.edge) {
            case TaskbarEdge::Bottom:
                y = screenHeight - full - inset;
                barFrom = scenario_.phantom;
                break;
            case TaskbarEdge::Top:
                y = inset;
                break;
            case TaskbarEdge::Left:
                x = inset;
                break;
            case TaskbarEdge::Right:
                x = screenWidth - full - inset;
                barFrom = scenario_.phantom;
                break;
        }
        const auto place = [horizontal](HWND window, int along, int alongSize, int across,
                                        int acrossSize) {
            if (horizontal) {
                MoveWindow(window, along, across, alongSize, acrossSize, TRUE);
            } else {
                MoveWindow(window, across, along, acrossSize, alongSize, TRUE);
            }
        };
        place(root_, horizontal ? x : y, length, horizontal ? y : x, full);
        if (bridge_ != nullptr) {
            place(bridge_, 0, length - (scenario_.kind == TaskbarKind::Classic ? trayLength_ : 0),
                  0, full);
        }
        if (bandHost_ != nullptr) {
            place(bandHost_, scenario_.thickness, length / 2, 0, full);
        }
        if (start_ != nullptr) {
            place(start_, 0, scenario_.thickness, barFrom, scenario_.thickness);
        }
        if (tray_ != nullptr) {
            place(tray_, length - trayLength_, trayLength_, barFrom,
                  trayLength_ == 0 ? 0 : scenario_.thickness);
        }
    }

    Scenario scenario_;
    int trayLength_ = kNotificationWidth;
    HWND root_ = nullptr;
    HWND bridge_ = nullptr;
    HWND start_ = nullptr;
    HWND tray_ = nullptr;
    HWND bandHost_ = nullptr;
};

Taskbar* shown = nullptr;

LRESULT CALLBACK taskbarProcedure(HWND window, UINT message, WPARAM wParam,
                                  LPARAM lParam) noexcept {
    static const UINT command = RegisterWindowMessageW(kFakeCommandMessage);
    if (message == command && shown != nullptr && window == shown->root()) {
        shown->obey(static_cast<FakeCommand>(wParam), lParam);
        return 1;
    }
    if (message == WM_TIMER && wParam == kShowTimer && shown != nullptr) {
        shown->show();
        return 0;
    }
    if (message == WM_COPYDATA) {
        const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        const auto* bytes = static_cast<const char*>(copy->lpData);
        const std::wstring_view title(kAlertGroup);
        const std::string_view wanted(reinterpret_cast<const char*>(title.data()),
                                      title.size() * sizeof(wchar_t));
        if (bytes != nullptr && std::string_view(bytes, copy->cbData).find(wanted) !=
                                    std::string_view::npos) {
            const auto shownBalloons =
                reinterpret_cast<std::uintptr_t>(GetPropW(window, kTaskbarBalloonsProperty));
            SetPropW(window, kTaskbarBalloonsProperty, reinterpret_cast<HANDLE>(shownBalloons + 1));
        }
        return TRUE;
    }
    if (message == WM_CONTEXTMENU) {
        // The taskbar's own menu would open: counted where the tests can read it.
        const auto opened =
            reinterpret_cast<std::uintptr_t>(GetPropW(window, kTaskbarMenusProperty));
        SetPropW(window, kTaskbarMenusProperty, reinterpret_cast<HANDLE>(opened + 1));
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    DWORD lifetime = 0;
    const std::optional<Scenario> scenario = parseScenario(argc, argv, lifetime);
    if (!scenario) {
        std::fputs(
            "usage: fake-taskbar.exe composition|classic|secondary|plain <milliseconds> "
            "[--edge bottom|top|left|right] [--length N] [--thickness N] [--phantom N] "
            "[--late-tray] [--linger MS] [--hidden MS] [--hidden-band-host]\n",
            stderr);
        return 2;
    }
    // As Explorer: in physical pixels on every monitor, whatever the scale.
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    for (const wchar_t* name : {L"Shell_TrayWnd", L"Shell_SecondaryTrayWnd"}) {
        registerClass(name, taskbarProcedure);
    }
    for (const wchar_t* name : {L"TrayNotifyWnd", L"Start", kBridgeClass}) {
        registerClass(name, plainProcedure);
    }
    Taskbar taskbar(*scenario);
    shown = &taskbar;
    if (!taskbar.create()) {
        std::fputs("fake-taskbar: the taskbar window cannot be created\n", stderr);
        return 3;
    }
    // The caller waits for this line before it starts what should meet the taskbar.
    std::puts("ready");
    std::fflush(stdout);
    const ULONGLONG end = GetTickCount64() + lifetime;
    for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
        MSG message{};
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                return 0;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return 0;
}
