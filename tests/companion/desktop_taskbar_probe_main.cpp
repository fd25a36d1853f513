// desktop-taskbar-probe.exe: the real Tavisto.exe --taskbar in Wine's own desktop taskbar
// (`explorer /desktop=shell,WxH`), a taskbar that none of the tests' code made: a
// Shell_TrayWnd of explorer.exe with Start and task buttons, no band site, no composition
// bridge and no notification area window; Wine 8 paints the tray icons at its end itself.
// scripts/test-taskbar starts the probe inside that desktop (only programs of a desktop
// see its windows). It finds the taskbar, puts an icon of its own into the taskbar's tray
// and finds where it is painted (on the screen, as the taskbar's pixels that changed),
// starts TAVISTO_EXE --taskbar (no --force), and compares from outside the meters'
// rectangle with the taskbar's and the icon's: the meters attach, end the tray reserve
// (200 px at 100 %) before the taskbar's end and so left of the icon, are as tall as
// the taskbar, and draw.
//   desktop-taskbar-probe.exe <report-file>
// Writes what it saw to <report-file> (UTF-8), the last line "PASS" or "FAIL"; exit code
// 0 or 1. Every wait is bounded, the whole run to 60 s; it ends the Tavisto.exe it started.

#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "companion/placement.h"
#include "desk_band_host.h"
#include "fake_taskbar.h"
#include "platform/win32/dib_section.h"
#include "platform/win32/handles.h"
#include "tavisto_identifiers.h"

namespace {

using namespace tavisto::companion::testing;
namespace host = tavisto::host;
namespace win32 = tavisto::win32;

constexpr std::uint32_t kOpaqueRed = 0xFFFF0000;
constexpr UINT kIconId = 1;
constexpr wchar_t kIconWindowClass[] = L"TavistoDesktopTaskbarProbe";

// One full red column, 30 pixels wide.
const std::string kConfiguration = R"json({ "horizontalPadding": 1, "verticalPadding": 2,
  "meterGroups": [ { "name": "only", "width": 30, "meters": [ { "meterType": "column",
    "width": 30, "refreshRate": 200, "counters": [ { "counterPath":
    "(PERFORMANCE_INFORMATION.PhysicalTotal) / (PERFORMANCE_INFORMATION.PhysicalTotal)",
    "color": "#FF0000", "minValue": 0, "maxValue": 1 } ] } ] } ] })json";

FILE* report = nullptr;
bool failed = false;

void say(const std::string& line) {
    std::fprintf(report, "%s\n", line.c_str());
    std::fflush(report);
}

void fail(const std::string& line) {
    say("FAIL: " + line);
    failed = true;
}

std::string narrow(const std::wstring& text) {
    std::string out;
    for (const wchar_t c : text) {
        out += c < 128 ? static_cast<char>(c) : '?';
    }
    return out;
}

std::string describe(const RECT& rect) {
    return "{" + std::to_string(rect.left) + ", " + std::to_string(rect.top) + ", " +
           std::to_string(rect.right) + ", " + std::to_string(rect.bottom) + "}";
}

std::wstring classOf(HWND window) {
    wchar_t name[128] = {};
    GetClassNameW(window, name, 128);
    return name;
}

bool ownedByExplorer(HWND window) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    const std::wstring image = host::processImage(process);
    const std::size_t slash = image.find_last_of(L"\\/");
    return _wcsicmp(image.substr(slash == std::wstring::npos ? 0 : slash + 1).c_str(),
                    L"explorer.exe") == 0;
}

// Explorer's shown taskbar in this desktop; null when there is none.
HWND shownTaskbar() {
    for (HWND window = FindWindowExW(nullptr, nullptr, L"Shell_TrayWnd", nullptr);
         window != nullptr; window = FindWindowExW(nullptr, window, L"Shell_TrayWnd", nullptr)) {
        RECT rect{};
        if (IsWindowVisible(window) && GetWindowRect(window, &rect) && rect.right > rect.left &&
            rect.bottom > rect.top && ownedByExplorer(window)) {
            return window;
        }
    }
    return nullptr;
}

void listChildren(HWND taskbar) {
    for (HWND child = GetWindow(taskbar, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        say("  child " + narrow(classOf(child)) + " " + describe(rectInParent(child)) +
            (IsWindowVisible(child) ? "" : " (hidden)"));
    }
}

// The screen's pixels in `area` (screen coordinates), 0x00RRGGBB, top row first; empty
// when they cannot be read.
std::vector<std::uint32_t> screenPixels(const RECT& area) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    const win32::WindowDc screen = win32::windowDc(nullptr);
    const win32::MemoryDc memory(CreateCompatibleDC(screen.get()));
    const win32::DibSection section = win32::createTopDownDib(memory.get(), width, height);
    if (!screen || !memory || !section) {
        return {};
    }
    const HGDIOBJ original = SelectObject(memory.get(), section.bitmap.get());
    BitBlt(memory.get(), 0, 0, width, height, screen.get(), area.left, area.top, SRCCOPY);
    GdiFlush();
    std::vector<std::uint32_t> pixels(section.pixels, section.pixels + width * height);
    SelectObject(memory.get(), original);
    for (std::uint32_t& pixel : pixels) {
        pixel &= 0x00FFFFFF;
    }
    return pixels;
}

// The columns, from the area's left, whose pixels differ; {-1, -1} when none do.
std::pair<int, int> changedColumns(const std::vector<std::uint32_t>& before,
                                   const std::vector<std::uint32_t>& after, int width) {
    std::pair<int, int> columns{-1, -1};
    if (before.size() != after.size() || width <= 0) {
        return columns;
    }
    for (std::size_t at = 0; at < after.size(); ++at) {
        if (before[at] != after[at]) {
            const int column = static_cast<int>(at % static_cast<std::size_t>(width));
            columns.first = columns.first < 0 ? column : std::min(columns.first, column);
            columns.second = std::max(columns.second, column + 1);
        }
    }
    return columns;
}

// Set while the probe's Tavisto.exe runs, for the watchdog.
HANDLE companionProcess = nullptr;

// Ends the probe, and the Tavisto.exe it started, when the whole run takes too long.
DWORD WINAPI watchdog(void*) {
    Sleep(60000);
    std::fprintf(report, "FAIL: the probe did not finish within 60 s\nFAIL\n");
    std::fflush(report);
    if (companionProcess != nullptr) {
        TerminateProcess(companionProcess, 9);
    }
    ExitProcess(1);
}

int run(HWND iconOwner) {
    // Explorer made the desktop and starts this program in it; its taskbar follows.
    HWND taskbar = nullptr;
    if (!host::pumpUntil([&] { return (taskbar = shownTaskbar()) != nullptr; }, 10000)) {
        fail("no shown Shell_TrayWnd of explorer.exe in this desktop within 10 s");
        return 1;
    }
    RECT screen{};
    GetWindowRect(taskbar, &screen);
    RECT client{};
    GetClientRect(taskbar, &client);
    say("taskbar " + describe(screen) + ", client " + describe(client));
    listChildren(taskbar);
    for (const wchar_t* kind :
         {L"ReBarWindow32", L"Windows.UI.Composition.DesktopWindowContentBridge",
          L"TrayNotifyWnd"}) {
        if (FindWindowExW(taskbar, nullptr, kind, nullptr) != nullptr) {
            fail("this is not Wine's plain desktop taskbar: it has a " + narrow(kind));
        }
    }

    // An icon in its tray, as any program's. Wine 8 paints it at the taskbar's end, in
    // no window of its own: where it is shows on the screen.
    const int screenWidth = screen.right - screen.left;
    std::vector<std::uint32_t> before = screenPixels(screen);
    if (!host::pumpUntil(
            [&] {
                std::vector<std::uint32_t> now = screenPixels(screen);
                const bool steady = !now.empty() && now == before;
                before = std::move(now);
                return steady;
            },
            5000)) {
        fail("the taskbar's pixels cannot be read, or change all the time");
    }
    NOTIFYICONDATAW icon{};
    icon.cbSize = sizeof(icon);
    icon.hWnd = iconOwner;
    icon.uID = kIconId;
    icon.uFlags = NIF_ICON | NIF_TIP;
    icon.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    std::wcscpy(icon.szTip, L"Tavisto desktop taskbar probe");
    if (!Shell_NotifyIconW(NIM_ADD, &icon)) {
        fail("Shell_NotifyIcon(NIM_ADD) failed");
    }
    std::pair<int, int> painted{-1, -1};
    host::pumpUntil(
        [&] {
            painted = changedColumns(before, screenPixels(screen), screenWidth);
            return painted.first >= 0;
        },
        5000);
    // The reserve the meters keep clear of a taskbar's end when it shows no notification
    // area, at this screen's scale.
    const LONG reserve = MulDiv(tavisto::companion::kPrimaryTrayReserve,
                                static_cast<int>(GetDpiForWindow(taskbar)), 96);
    const LONG farEdge = client.right - reserve;
    if (painted.first < 0) {
        fail("the tray icon was not painted in the taskbar within 5 s");
    } else {
        say("tray icon painted from " + std::to_string(painted.first) + " to " +
            std::to_string(painted.second));
        if (painted.second > client.right || painted.first < farEdge) {
            fail("the tray icon is not painted in the taskbar's last " + std::to_string(reserve) +
                 " px");
        }
    }

    host::removeFolder(host::configurationFolder());
    CreateDirectoryW(host::configurationFolder().c_str(), nullptr);
    if (!host::writeNewFile(host::configurationFile(), kConfiguration)) {
        fail("the configuration cannot be written");
        return 1;
    }
    const LONG thickness = client.bottom - client.top;
    const std::int32_t length = engineBandLength(kConfiguration, thickness);
    say("band length for a taskbar " + std::to_string(thickness) +
        " px thick: " + std::to_string(length));

    // Its log then tells of this run alone.
    DeleteFileW(companionLogPath().c_str());
    Companion companion(L"--taskbar");
    if (!companion.started()) {
        fail("TAVISTO_EXE --taskbar cannot be started");
        return 1;
    }
    companionProcess = companion.process();
    // The meters, placed: the reserve before the taskbar's end, so left of the tray icons,
    // as tall as the taskbar, as long as the band. A taskbar of neither kind takes them
    // once it has stayed so for 1.5 s.
    const ULONGLONG started = GetTickCount64();
    HWND meters = nullptr;
    RECT rect{};
    long exitCode = -1;
    const bool placed = host::pumpUntil(
        [&] {
            if ((exitCode = companion.exitCode(0)) != -1) {
                return true;
            }
            meters = FindWindowExW(taskbar, nullptr, TAVISTO_TASKBAR_WINDOW_CLASS, nullptr);
            if (meters == nullptr) {
                return false;
            }
            rect = rectInParent(meters);
            return rect.right == farEdge && rect.top == client.top &&
                   rect.bottom == client.bottom && rect.right - rect.left == length;
        },
        10000);
    if (exitCode != -1) {
        fail("Tavisto.exe --taskbar ended (exit code " + std::to_string(exitCode) +
             ") instead of attaching; its log:\n" + companionLog());
    } else if (meters == nullptr) {
        fail("no meters in the taskbar within 10 s; Tavisto's log:\n" + companionLog());
    } else {
        say("meters " + describe(rect) + " after " + std::to_string(GetTickCount64() - started) +
            " ms");
        if (painted.first >= 0 && rect.right > painted.first) {
            fail("the meters cover the tray icon");
        }
        if (!placed) {
            fail("the meters are not placed: wanted to end at " + std::to_string(farEdge) + ", " +
                 std::to_string(length) + " long, from " + std::to_string(client.top) + " to " +
                 std::to_string(client.bottom));
        }
        Frame frame;
        host::pumpUntil(
            [&] {
                frame = requestFrame(meters);
                return frame.count(kOpaqueRed) > 0;
            },
            5000);
        say("frame " + std::to_string(frame.width) + "x" + std::to_string(frame.height) + ", " +
            std::to_string(frame.count(kOpaqueRed)) + " red pixels");
        if (frame.count(kOpaqueRed) == 0) {
            fail("the meters drew no red column");
        }
    }
    companion.kill();
    companionProcess = nullptr;
    Shell_NotifyIconW(NIM_DELETE, &icon);
    host::removeFolder(host::configurationFolder());
    return failed ? 1 : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2 || (report = _wfopen(argv[1], L"wb")) == nullptr) {
        return 2;
    }
    // Physical pixels, as the taskbar and the companion see them.
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kIconWindowClass;
    RegisterClassW(&windowClass);
    const HWND iconOwner = CreateWindowExW(0, kIconWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                           nullptr, GetModuleHandleW(nullptr), nullptr);
    CloseHandle(CreateThread(nullptr, 0, watchdog, nullptr, 0, nullptr));
    const int status = run(iconOwner);
    DestroyWindow(iconOwner);
    say(status == 0 ? "PASS" : "FAIL");
    std::fclose(report);
    return status;
}
