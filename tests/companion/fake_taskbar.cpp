#include "fake_taskbar.h"

#include <shlobj.h>
#include <winternl.h>

#include <algorithm>
#include <array>
#include <cwchar>
#include <memory>
#include <string_view>

#include "desk_band_host.h"
#include "panel/meter_panel.h"
#include "win32/window_backends.h"
#include "render/band_metrics.h"
#include "tavisto_identifiers.h"
#include "win32/process_resources.h"

namespace tavisto::companion::testing {
namespace {

constexpr wchar_t kMetersClass[] = TAVISTO_TASKBAR_WINDOW_CLASS;
constexpr wchar_t kFrameRequest[] = L"TavistoTaskbarFrame";
constexpr ULONG_PTR kFrameCopyData = 0x54415646;

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
    std::vector<HWND> windows;
};

BOOL CALLBACK collectOwned(HWND window, LPARAM context) noexcept {
    auto* owned = reinterpret_cast<OwnedWindows*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == owned->processId) {
        owned->windows.push_back(window);
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

namespace {

// In the order of TaskbarKind and TaskbarEdge.
constexpr auto kKindNames =
    std::to_array<std::wstring_view>({L"composition", L"classic", L"secondary", L"plain"});
constexpr auto kEdgeNames =
    std::to_array<std::wstring_view>({L"bottom", L"top", L"left", L"right"});

template <typename Enum, std::size_t size>
bool parseName(const std::array<std::wstring_view, size>& names, std::wstring_view name,
               Enum& value) {
    const auto found = std::find(names.begin(), names.end(), name);
    value = static_cast<Enum>(found - names.begin());
    return found != names.end();
}

}  // namespace

std::wstring scenarioArguments(const Scenario& scenario, DWORD lifetimeMilliseconds) {
    std::wstring arguments = std::wstring(kKindNames[static_cast<std::size_t>(scenario.kind)]) +
                             L" " + std::to_wstring(lifetimeMilliseconds) + L" --edge " +
                             std::wstring(kEdgeNames[static_cast<std::size_t>(scenario.edge)]) +
                             L" --length " + std::to_wstring(scenario.length) + L" --thickness " +
                             std::to_wstring(scenario.thickness) + L" --phantom " +
                             std::to_wstring(scenario.phantom) + L" --linger " +
                             std::to_wstring(scenario.lingerMilliseconds) + L" --hidden " +
                             std::to_wstring(scenario.hiddenMilliseconds);
    if (scenario.hiddenBandHost) {
        arguments += L" --hidden-band-host";
    }
    return scenario.lateTray ? arguments + L" --late-tray" : arguments;
}

std::optional<Scenario> parseScenario(int argc, wchar_t** argv, DWORD& lifetimeMilliseconds) {
    Scenario scenario;
    if (argc < 3 || !parseName(kKindNames, argv[1], scenario.kind)) {
        return std::nullopt;
    }
    lifetimeMilliseconds = static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10));
    for (int at = 3; at < argc; ++at) {
        const std::wstring_view name = argv[at];
        if (name == L"--late-tray") {
            scenario.lateTray = true;
            continue;
        }
        if (name == L"--hidden-band-host") {
            scenario.hiddenBandHost = true;
            continue;
        }
        if (at + 1 >= argc) {
            return std::nullopt;
        }
        const wchar_t* value = argv[++at];
        const int number = static_cast<int>(std::wcstol(value, nullptr, 10));
        if (name == L"--edge") {
            if (!parseName(kEdgeNames, value, scenario.edge)) {
                return std::nullopt;
            }
        } else if (name == L"--length") {
            scenario.length = number;
        } else if (name == L"--thickness") {
            scenario.thickness = number;
        } else if (name == L"--phantom") {
            scenario.phantom = number;
        } else if (name == L"--linger") {
            scenario.lingerMilliseconds = static_cast<DWORD>(number);
        } else if (name == L"--hidden") {
            scenario.hiddenMilliseconds = static_cast<DWORD>(number);
        } else {
            return std::nullopt;
        }
    }
    return scenario;
}

FakeTaskbar::FakeTaskbar(const Scenario& scenario) : scenario_(scenario) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring folder = host::folderOf(self);
    const std::wstring shellFolder = folder + L"\\fake shell";
    CreateDirectoryW(shellFolder.c_str(), nullptr);
    const std::wstring image = shellFolder + L"\\" + scenario.image;
    CopyFileW((folder + L"\\fake-taskbar.exe").c_str(), image.c_str(), FALSE);
    std::wstring command =
        L"\"" + image + L"\" " + scenarioArguments(scenario, scenario.lifetimeMilliseconds);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(image.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        shellFolder.c_str(), &startup, &process)) {
        return;
    }
    process_ = win32::ownProcess(process).process;
    id_ = process.dwProcessId;
    host::pumpUntil([&] { return (window_ = find()) != nullptr; },
                    scenario.hiddenMilliseconds + 10000);
}

FakeTaskbar::~FakeTaskbar() {
    if (!process_) {
        return;
    }
    endWithoutWaiting();
    // Pumping: while it ends, its windows' children (the companion's) go as well.
    if (!host::pumpUntil([&] { return WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0; },
                         scenario_.lingerMilliseconds + 10000)) {
        TerminateProcess(process_.get(), 9);
        WaitForSingleObject(process_.get(), 5000);
    }
}

HWND FakeTaskbar::find() const {
    struct Search {
        DWORD processId;
        const wchar_t* className;
        HWND found;
    } search{
        id_,
        scenario_.kind == TaskbarKind::Secondary ? L"Shell_SecondaryTrayWnd" : L"Shell_TrayWnd",
        nullptr};
    EnumWindows(
        [](HWND window, LPARAM context) noexcept -> BOOL {
            auto* wanted = reinterpret_cast<Search*>(context);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            wchar_t name[64] = {};
            GetClassNameW(window, name, 64);
            if (owner == wanted->processId && IsWindowVisible(window) &&
                std::wstring(name) == wanted->className) {
                wanted->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FakeTaskbar::notificationArea() const {
    return FindWindowExW(window_, nullptr, L"TrayNotifyWnd", nullptr);
}

RECT FakeTaskbar::client() const {
    RECT client{};
    GetClientRect(window_, &client);
    return client;
}

RECT FakeTaskbar::visibleBar() const {
    const HWND start = FindWindowExW(window_, nullptr, L"Start", nullptr);
    if (start == nullptr) {
        return client();
    }
    RECT bar = rectInParent(start);
    const RECT all = client();
    if (horizontal()) {
        bar.left = all.left;
        bar.right = all.right;
    } else {
        bar.top = all.top;
        bar.bottom = all.bottom;
    }
    return bar;
}

bool FakeTaskbar::horizontal() const {
    const RECT all = client();
    return all.right - all.left >= all.bottom - all.top;
}

bool FakeTaskbar::command(FakeCommand command, LPARAM argument) {
    const UINT message = RegisterWindowMessageW(kFakeCommandMessage);
    const auto code = static_cast<WPARAM>(command);
    if (command == FakeCommand::Hang || command == FakeCommand::End) {
        return PostMessageW(window_, message, code, argument) != FALSE;
    }
    DWORD_PTR answer = 0;
    return SendMessageTimeoutW(window_, message, code, argument, SMTO_ABORTIFHUNG, 5000, &answer) !=
           0;
}

bool FakeTaskbar::recreate() {
    const HWND old = window_;
    command(FakeCommand::Recreate);
    return host::pumpUntil([&] { return (window_ = find()) != nullptr && window_ != old; }, 10000);
}

void FakeTaskbar::endWithoutWaiting() {
    if (window_ != nullptr) {
        command(FakeCommand::End);
    }
}

std::vector<HWND> FakeTaskbar::children() const {
    std::vector<HWND> found;
    for (HWND next = GetWindow(window_, GW_CHILD); next != nullptr;
         next = GetWindow(next, GW_HWNDNEXT)) {
        found.push_back(next);
    }
    std::sort(found.begin(), found.end());
    return found;
}

HWND FakeTaskbar::meters() const {
    return FindWindowExW(window_, nullptr, kMetersClass, nullptr);
}

namespace {
constexpr wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
constexpr wchar_t kLogPixels[] = L"LogPixels";
}  // namespace

ScreenScale::ScreenScale(DWORD dpi) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegGetValueW(HKEY_CURRENT_USER, kDesktopKey, kLogPixels, RRF_RT_REG_DWORD, nullptr, &value,
                     &size) == ERROR_SUCCESS) {
        earlier_ = value;
    }
    RegSetKeyValueW(HKEY_CURRENT_USER, kDesktopKey, kLogPixels, REG_DWORD, &dpi, sizeof(dpi));
}

ScreenScale::~ScreenScale() {
    if (earlier_) {
        const DWORD value = *earlier_;
        RegSetKeyValueW(HKEY_CURRENT_USER, kDesktopKey, kLogPixels, REG_DWORD, &value,
                        sizeof(value));
    } else {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kDesktopKey, kLogPixels);
    }
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

Companion::Companion(const std::wstring& arguments)
    : Companion(host::environmentValue(L"TAVISTO_EXE"), arguments) {}

Companion::Companion(const std::wstring& program, const std::wstring& arguments) {
    std::wstring command = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process)) {
        process_ = win32::ownProcess(process).process;
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

namespace {

// The engine in a hidden window of this process, as a horizontal taskbar of the given
// thickness would hold it; null panel, with the load's message, when it does not load.
struct EnginePanel {
    EnginePanel(const std::string& configuration, int thickness)
        : window(CreateWindowExW(0, L"STATIC", nullptr, WS_POPUP, 0, 0, 400, thickness, nullptr,
                                 nullptr, GetModuleHandleW(nullptr), nullptr)),
          platform(std::make_unique<win32::testing::WindowBackends>(window.get(), true)),
          panel(MeterPanel::create(platform->services(), configuration, BandDirection::Horizontal,
                                   error)) {}

    win32::Window window;
    std::unique_ptr<win32::testing::WindowBackends> platform;
    std::string error;
    std::unique_ptr<MeterPanel> panel;
};

}  // namespace

std::int32_t engineBandLength(const std::string& configuration, int thickness) {
    const EnginePanel engine(configuration, thickness);
    return engine.panel ? bandLength(engine.panel->model(), engine.panel->layout(),
                                     BandDirection::Horizontal)
                        : -1;
}

std::string engineRefusal(const std::string& loaded, const std::string& refused, int thickness) {
    const EnginePanel engine(loaded, thickness);
    return engine.panel ? engine.panel->reload(refused, BandDirection::Horizontal)
                        : "the loaded configuration did not load: " + engine.error;
}

std::wstring companionLogPath() {
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(
            SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) {
        return {};
    }
    return std::wstring(folder) + L"\\Tavisto\\Tavisto.log";
}

std::string companionLog() {
    const win32::FileHandle file(CreateFileW(companionLogPath().c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string text;
    if (!file) {
        return text;
    }
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(file.get(), chunk, sizeof(chunk), &read, nullptr) && read > 0) {
        text.append(chunk, read);
    }
    return text;
}

std::vector<HWND> windowsOf(DWORD processId) {
    OwnedWindows owned{processId, {}};
    // Top-level windows and, inside every window, the children (the meters live in a
    // window of another process).
    EnumWindows(
        [](HWND window, LPARAM context) noexcept -> BOOL {
            collectOwned(window, context);
            EnumChildWindows(window, collectOwned, context);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&owned));
    return owned.windows;
}

ForeignResources resourcesOf(DWORD processId) {
    ForeignResources resources;
    resources.windows = static_cast<long>(windowsOf(processId).size());

    const win32::KernelHandle process(OpenProcess(
        PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_DUP_HANDLE, FALSE, processId));
    if (!process) {
        return resources;
    }
    // GetProcessHandleCount is a stub under Wine: a handle value is open when it can be
    // duplicated.
    for (std::uintptr_t value = 4; value < 0x2000; value += 4) {
        HANDLE copy = nullptr;
        if (DuplicateHandle(process.get(), reinterpret_cast<HANDLE>(value), GetCurrentProcess(),
                            &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
            CloseHandle(copy);
            ++resources.handles;
        }
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
