#pragma once
// What the companion looks for in Explorer, played by another process: fake-taskbar.exe
// makes a taskbar window of Explorer's classes with the children that tell its kind, and
// behaves as real taskbars do when they are hostile. The tests start it as a copy named
// explorer.exe (or, as an impostor, under another name), start the real Tavisto.exe
// beside it, and look at both from outside.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/handles.h"

namespace tavisto::companion::testing {

enum class TaskbarKind {
    Composition,  // a composition bridge, a Start button and a notification area: Windows 11
    Classic,      // a band host and a notification area: Windows 10
    Secondary,    // a composition bridge and a Start button, on a further monitor
    Plain,        // a Start button, neither a band host nor a bridge: Wine's desktop taskbar
};

enum class TaskbarEdge { Bottom, Top, Left, Right };

inline constexpr int kTaskbarHeight = 48;
inline constexpr int kSmallTaskbarHeight = 32;
inline constexpr int kNotificationWidth = 200;

// One switch per way real taskbars behave; any of them combine.
struct Scenario {
    TaskbarKind kind = TaskbarKind::Composition;
    TaskbarEdge edge = TaskbarEdge::Bottom;
    int length = 1024;                     // along the screen's side, at most its length
    int thickness = kTaskbarHeight;        // the bar the user sees (32: the small taskbar)
    int phantom = 0;                       // the window is this much thicker than that bar
    bool lateTray = false;                 // the notification area is empty until grown
    bool hiddenBandHost = false;           // a hidden band host as well, docking nothing
    DWORD lingerMilliseconds = 0;          // when ending: hidden and not answering this long
    DWORD hiddenMilliseconds = 0;          // announced at once, but shown only this much later
    std::wstring image = L"explorer.exe";  // another name: an impostor
    DWORD lifetimeMilliseconds = 10 * 60 * 1000;  // then it ends by itself
};

// fake-taskbar.exe's arguments for a scenario, and back; nothing for a bad command line.
std::wstring scenarioArguments(const Scenario& scenario, DWORD lifetimeMilliseconds);
std::optional<Scenario> parseScenario(int argc, wchar_t** argv, DWORD& lifetimeMilliseconds);

// What the test asks of a running fake taskbar, through kFakeCommandMessage.
inline constexpr wchar_t kFakeCommandMessage[] = L"TavistoFakeTaskbarCommand";
enum class FakeCommand : WPARAM {
    ResizeTray = 1,   // lParam: the notification area's new length
    RebuildChildren,  // its children made anew, the bridge on top, the notification
                      // area 40 px longer or back; the root kept
    Hang,             // lParam: milliseconds without pumping messages
    Recreate,         // the root made anew and "TaskbarCreated" broadcast
    MoveTo,           // lParam: a TaskbarEdge
    End,              // hidden, lingering if asked, then gone
};

// How often the taskbar's own context menu would have opened, as a property of its window.
inline constexpr wchar_t kTaskbarMenusProperty[] = L"FakeTaskbarMenus";
// How many notifications of alerts of a group named kAlertGroup reached the taskbar's
// notification area, as a property of its window: the copies Shell_NotifyIcon sends it
// that carry the group's name, whatever their layout.
inline constexpr wchar_t kTaskbarBalloonsProperty[] = L"FakeTaskbarBalloons";
inline constexpr wchar_t kAlertGroup[] = L"Overheat";
// Set on a taskbar that already held the companion's window before it was shown.
inline constexpr wchar_t kEarlyGuestProperty[] = L"FakeTaskbarEarlyGuest";

class FakeTaskbar {
  public:
    // Starts fake-taskbar.exe (beside this test) as `scenario.image` and waits until its
    // taskbar is shown; window() is null when it is not.
    explicit FakeTaskbar(const Scenario& scenario = {});
    explicit FakeTaskbar(TaskbarKind kind) : FakeTaskbar(Scenario{.kind = kind}) {}
    // Ends it and waits for the process to go (lingering included).
    ~FakeTaskbar();
    FakeTaskbar(const FakeTaskbar&) = delete;
    FakeTaskbar& operator=(const FakeTaskbar&) = delete;

    HWND window() const { return window_; }
    DWORD id() const { return id_; }
    HWND notificationArea() const;
    RECT client() const;
    // The bar the user sees, in client coordinates: the Start button's extent across.
    RECT visibleBar() const;
    bool horizontal() const;
    // Sends a command and waits for it to be done (Hang and End: to be received).
    bool command(FakeCommand command, LPARAM argument = 0);
    // Makes the notification area `length` long, still at the far end.
    void resizeNotificationArea(int length) { command(FakeCommand::ResizeTray, length); }
    // The root made anew (same process); window() follows it.
    bool recreate();
    // Tells it to end without waiting: a lingering one stays hidden for a while.
    void endWithoutWaiting();
    std::vector<HWND> children() const;
    // The companion's window inside this taskbar; null when there is none.
    HWND meters() const;

  private:
    HWND find() const;

    Scenario scenario_;
    win32::KernelHandle process_;
    DWORD id_ = 0;
    HWND window_ = nullptr;
};

// The screen scale that programs started while it exists take, as a user sets it
// (Wine reads it when a process starts); the earlier one comes back when it goes.
class ScreenScale {
  public:
    explicit ScreenScale(DWORD dpi);
    ~ScreenScale();
    ScreenScale(const ScreenScale&) = delete;
    ScreenScale& operator=(const ScreenScale&) = delete;

  private:
    std::optional<DWORD> earlier_;
};

// The window's rectangle in its parent's client coordinates.
RECT rectInParent(HWND window);

// Windows of the companion's class anywhere: top-level, or inside any window.
int companionWindowCount();

// The real Tavisto.exe (`program`, else TAVISTO_EXE) with `arguments`, ended when the
// object goes.
class Companion {
  public:
    explicit Companion(const std::wstring& arguments);
    Companion(const std::wstring& program, const std::wstring& arguments);
    ~Companion();
    Companion(const Companion&) = delete;
    Companion& operator=(const Companion&) = delete;

    bool started() const { return static_cast<bool>(process_); }
    DWORD id() const { return id_; }
    HANDLE process() const { return process_.get(); }
    // The exit code once it ended within the time; -1 when it still runs.
    long exitCode(DWORD timeoutMilliseconds) const;
    void kill();
    // Processor time used so far, in 100 ns units.
    std::uint64_t processorTime() const;

  private:
    win32::KernelHandle process_;
    DWORD id_ = 0;
};

// The frame the companion's window last showed: premultiplied 0xAARRGGBB, top row first.
struct Frame {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    int count(std::uint32_t argb) const;
};
// Asks the companion's window for its frame; empty when no answer came in time.
Frame requestFrame(HWND meters);

// The band length the engine computes for `configuration` in a horizontal taskbar of
// the given thickness, on this process's screen.
std::int32_t engineBandLength(const std::string& configuration, int thickness);
// Why the engine, showing `loaded`, refuses to reload `refused` (empty when it does not).
std::string engineRefusal(const std::string& loaded, const std::string& refused, int thickness);

// The companion's log, "%LOCALAPPDATA%\Tavisto\Tavisto.log", and its text (empty when
// there is none).
std::wstring companionLogPath();
std::string companionLog();

// Another process's windows: top-level ones and children, in windows of any process.
std::vector<HWND> windowsOf(DWORD processId);

// GDI objects, windows and kernel handles held by another process.
struct ForeignResources {
    long gdiObjects = 0;
    long windows = 0;
    long handles = 0;
    bool operator==(const ForeignResources&) const = default;
};
ForeignResources resourcesOf(DWORD processId);

}  // namespace tavisto::companion::testing
