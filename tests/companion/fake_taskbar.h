#pragma once
// What the companion looks for in Explorer, built by the tests: a taskbar window of
// Explorer's class with the children that tell its kind, and the real Tavisto.exe
// started against it.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32/handles.h"

namespace tavisto::companion::testing {

enum class TaskbarKind {
    Composition,  // a composition bridge and a notification area: Windows 11
    Classic,      // a band host and a notification area: Windows 10
    Secondary,    // a composition bridge only, on a further monitor
};

inline constexpr int kTaskbarHeight = 48;
inline constexpr int kNotificationWidth = 200;

class FakeTaskbar {
  public:
    // A shown top-level window at the bottom of the screen (the secondary one above
    // it), `width` wide at most as the screen.
    explicit FakeTaskbar(TaskbarKind kind, int width = 1024);
    ~FakeTaskbar();
    FakeTaskbar(const FakeTaskbar&) = delete;
    FakeTaskbar& operator=(const FakeTaskbar&) = delete;

    HWND window() const { return window_.get(); }
    HWND notificationArea() const { return notification_; }
    RECT client() const;
    // Makes the notification area `width` wide, still at the right end.
    void resizeNotificationArea(int width);
    std::vector<HWND> children() const;
    // The companion's window inside this taskbar; null when there is none.
    HWND meters() const;

  private:
    win32::Window window_;
    HWND notification_ = nullptr;
};

// The window's rectangle in its parent's client coordinates.
RECT rectInParent(HWND window);

// Windows of the companion's class anywhere: top-level, or inside any window.
int companionWindowCount();

// The real Tavisto.exe (TAVISTO_EXE) with `arguments`, ended when the object goes.
class Companion {
  public:
    explicit Companion(const std::wstring& arguments);
    ~Companion();
    Companion(const Companion&) = delete;
    Companion& operator=(const Companion&) = delete;

    bool started() const { return static_cast<bool>(process_); }
    DWORD id() const { return id_; }
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

// GDI objects and windows held by another process.
struct ForeignResources {
    long gdiObjects = 0;
    long windows = 0;
    bool operator==(const ForeignResources&) const = default;
};
ForeignResources resourcesOf(DWORD processId);

}  // namespace tavisto::companion::testing
