#include "fake_taskbar.h"

#include <commctrl.h>
#include <winternl.h>

#include <algorithm>
#include <memory>

#include "desk_band_host.h"
#include "panel/meter_panel.h"
#include "platform/win32/band_window_platform.h"
#include "render/band_metrics.h"
#include "win32/process_resources.h"

namespace tavisto::companion::testing {
namespace {

constexpr wchar_t kMetersClass[] = L"TavistoTaskbarClass";
constexpr wchar_t kFrameRequest[] = L"TavistoTaskbarFrame";
constexpr ULONG_PTR kFrameCopyData = 0x54415646;

LRESULT CALLBACK plainProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    return DefWindowProcW(window, message, wParam, lParam);
}

void registerClass(const wchar_t* name) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = plainProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    windowClass.lpszClassName = name;
    RegisterClassW(&windowClass);
}

HWND child(HWND parent, const wchar_t* className, int x, int width, int height) {
    return CreateWindowExW(0, className, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, x, 0,
                           width, height, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
}

BOOL CALLBACK countMeters(HWND window, LPARAM count) noexcept {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (std::wstring(name) == kMetersClass) {
        ++*reinterpret_cast<int*>(count);
    }
    EnumChildWindows(window, countMeters, count);
    return TRUE;
}

struct OwnedWindows {
    DWORD processId;
    long count;
};

BOOL CALLBACK countOwned(HWND window, LPARAM context) noexcept {
    auto* owned = reinterpret_cast<OwnedWindows*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == owned->processId) {
        ++owned->count;
    }
    return TRUE;
}

// The frame answer arrives as WM_COPYDATA on a window of the test.
Frame* frameReceived = nullptr;

LRESULT CALLBACK frameReceiver(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (message == WM_COPYDATA && frameReceived != nullptr) {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (data->dwData == kFrameCopyData && data->cbData >= 8) {
            const auto* words = static_cast<const std::uint32_t*>(data->lpData);
            const std::size_t available = data->cbData / 4 - 2;
            const std::size_t wanted = static_cast<std::size_t>(words[0]) * words[1];
            if (wanted == available) {
                frameReceived->width = static_cast<int>(words[0]);
                frameReceived->height = static_cast<int>(words[1]);
                frameReceived->pixels.assign(words + 2, words + 2 + available);
            }
        }
        return TRUE;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

FakeTaskbar::FakeTaskbar(TaskbarKind kind, int width) {
    for (const wchar_t* name : {L"Shell_TrayWnd", L"Shell_SecondaryTrayWnd", L"TrayNotifyWnd",
                                L"Windows.UI.Composition.DesktopWindowContentBridge"}) {
        registerClass(name);
    }
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    width = std::min(width, screenWidth);
    const int top = screenHeight - kTaskbarHeight * (kind == TaskbarKind::Secondary ? 2 : 1);
    window_.reset(CreateWindowExW(
        WS_EX_TOOLWINDOW,
        kind == TaskbarKind::Secondary ? L"Shell_SecondaryTrayWnd" : L"Shell_TrayWnd", nullptr,
        WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, top, width, kTaskbarHeight, nullptr, nullptr,
        GetModuleHandleW(nullptr), nullptr));
    const HWND bar = window_.get();
    if (kind == TaskbarKind::Classic) {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_COOL_CLASSES};
        InitCommonControlsEx(&controls);
        child(bar, REBARCLASSNAMEW, 0, width - kNotificationWidth, kTaskbarHeight);
    } else {
        // The bridge covers the whole taskbar, as Explorer's does.
        child(bar, L"Windows.UI.Composition.DesktopWindowContentBridge", 0, width, kTaskbarHeight);
    }
    if (kind != TaskbarKind::Secondary) {
        notification_ = child(bar, L"TrayNotifyWnd", width - kNotificationWidth, kNotificationWidth,
                              kTaskbarHeight);
    }
}

FakeTaskbar::~FakeTaskbar() = default;

RECT FakeTaskbar::client() const {
    RECT client{};
    GetClientRect(window_.get(), &client);
    return client;
}

void FakeTaskbar::resizeNotificationArea(int width) {
    const RECT area = client();
    MoveWindow(notification_, area.right - width, 0, width, kTaskbarHeight, TRUE);
}

std::vector<HWND> FakeTaskbar::children() const {
    std::vector<HWND> found;
    for (HWND next = GetWindow(window_.get(), GW_CHILD); next != nullptr;
         next = GetWindow(next, GW_HWNDNEXT)) {
        found.push_back(next);
    }
    std::sort(found.begin(), found.end());
    return found;
}

HWND FakeTaskbar::meters() const {
    return FindWindowExW(window_.get(), nullptr, kMetersClass, nullptr);
}

RECT rectInParent(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

int companionWindowCount() {
    int count = 0;
    EnumWindows(countMeters, reinterpret_cast<LPARAM>(&count));
    return count;
}

Companion::Companion(const std::wstring& arguments) {
    std::wstring command = L"\"" + host::environmentValue(L"TAVISTO_EXE") + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process)) {
        CloseHandle(process.hThread);
        process_.reset(process.hProcess);
        id_ = process.dwProcessId;
    }
}

Companion::~Companion() {
    kill();
}

long Companion::exitCode(DWORD timeoutMilliseconds) const {
    if (!process_ || WaitForSingleObject(process_.get(), timeoutMilliseconds) != WAIT_OBJECT_0) {
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    return static_cast<long>(code);
}

void Companion::kill() {
    if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.get(), 9);
        WaitForSingleObject(process_.get(), 5000);
    }
}

std::uint64_t Companion::processorTime() const {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!process_ || !GetProcessTimes(process_.get(), &created, &exited, &kernel, &user)) {
        return 0;
    }
    const auto value = [](const FILETIME& time) {
        return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
    };
    return value(kernel) + value(user);
}

int Frame::count(std::uint32_t argb) const {
    return static_cast<int>(std::count(pixels.begin(), pixels.end(), argb));
}

Frame requestFrame(HWND meters) {
    static const bool registered = [] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = frameReceiver;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"TavistoFrameReceiver";
        return RegisterClassW(&windowClass) != 0;
    }();
    Frame frame;
    if (!registered) {
        return frame;
    }
    const win32::Window receiver(CreateWindowExW(0, L"TavistoFrameReceiver", nullptr, WS_POPUP, 0,
                                                 0, 0, 0, nullptr, nullptr,
                                                 GetModuleHandleW(nullptr), nullptr));
    frameReceived = &frame;
    PostMessageW(meters, RegisterWindowMessageW(kFrameRequest),
                 reinterpret_cast<WPARAM>(receiver.get()), 0);
    host::pumpUntil([&] { return !frame.pixels.empty(); }, 5000);
    frameReceived = nullptr;
    return frame;
}

std::int32_t engineBandLength(const std::string& configuration, int thickness) {
    const win32::Window window(CreateWindowExW(0, L"STATIC", nullptr, WS_POPUP, 0, 0, 400,
                                               thickness, nullptr, nullptr,
                                               GetModuleHandleW(nullptr), nullptr));
    const auto platform =
        std::make_unique<win32::BandWindowPlatform>(window.get(), win32::DpiSource::WindowMonitor);
    std::string error;
    const std::unique_ptr<MeterPanel> panel =
        MeterPanel::create(platform->services(), std::string(configuration), 1, error);
    return panel ? bandLength(panel->model(), 1) : -1;
}

ForeignResources resourcesOf(DWORD processId) {
    ForeignResources resources;
    OwnedWindows owned{processId, 0};
    // Top-level windows and, inside every window, the children (the meters live in a
    // window of another process).
    EnumWindows(
        [](HWND window, LPARAM context) noexcept -> BOOL {
            countOwned(window, context);
            EnumChildWindows(window, countOwned, context);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&owned));
    resources.windows = owned.count;

    const win32::KernelHandle process(
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    if (!process) {
        return resources;
    }
    resources.gdiObjects = static_cast<long>(GetGuiResources(process.get(), GR_GDIOBJECTS));
    if (resources.gdiObjects != 0) {
        return resources;
    }
    // Wine stubs GetGuiResources: count the live entries of the process's own GDI
    // handle table (Wine keeps one per process).
    resources.gdiObjects = win32::testing::gdiHandleTableEntries(process.get(), processId);
    return resources;
}

}  // namespace tavisto::companion::testing
