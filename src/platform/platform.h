#pragma once
// The engine's only way to the operating system. Each interface covers one need of
// the engine; the Windows backends live in platform/win32, the Linux ones in
// platform/linux, and the tests drive fakes of them.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/rounding.h"
#include "platform/drawing.h"
#include "platform/geometry.h"

namespace tavisto::platform {

struct ScreenDpi {
    int horizontal = 96;
    int vertical = 96;
};

// How many device pixels a pixel at 96 DPI takes on a screen.
inline double dpiScaleOf(ScreenDpi dpi) {
    return (dpi.horizontal + dpi.vertical) * 0.5 / 96.0;
}
inline double dpiScaleOf(unsigned dpi) {
    return dpiScaleOf(ScreenDpi{static_cast<int>(dpi), static_cast<int>(dpi)});
}

// The one rule for sizes on screens of any scale: a length at 96 DPI (a size of the
// configuration, of a dialog's layout) in device pixels at `scale`, rounded half away
// from zero and saturating.
inline std::int32_t scaledPixels(std::int32_t pixels, double scale) {
    return roundToInt32(static_cast<double>(pixels) * scale);
}

class Screen {
  public:
    virtual ~Screen() = default;
    virtual ScreenDpi dpi() const = 0;
};

class SystemVersion {
  public:
    virtual ~SystemVersion() = default;
    virtual bool isWindows10OrLater() const = 0;
};

// The system's setting for a light or dark taskbar.
class ThemeSettings {
  public:
    virtual ~ThemeSettings() = default;
    virtual TaskbarTheme taskbarTheme() const = 0;
};

// How the user's locale writes numbers. Windows allows up to three characters for each
// separator (a narrow no-break space groups French thousands); no thousands separator
// means digits are not grouped.
struct NumberSeparators {
    static constexpr std::size_t kMaxLength = 3;
    std::u16string decimal = u".";
    std::u16string thousands = u",";
    bool operator==(const NumberSeparators&) const = default;
};

// The user's regional and language settings.
class UserLocale {
  public:
    virtual ~UserLocale() = default;
    // Each separator at most kMaxLength characters; the decimal one never empty.
    virtual NumberSeparators numberSeparators() const = 0;
    // The user's display languages as BCP-47 names ("de-DE"), the most preferred first.
    virtual std::vector<std::string> preferredLanguages() const = 0;
};

// Opaque handles of a counter query and of a counter added to it; 0 means none.
using QueryHandle = std::uintptr_t;
using CounterHandle = std::uintptr_t;

// What a counter read gives when the platform cannot deliver a value: the add
// failed, the query was never collected, or the counter needs a second collection.
inline constexpr double kFailedCounterRead = 0.0;

// One instance of a counter whose path names its instances with a wildcard.
struct CounterInstance {
    std::u16string_view name;
    double value = 0.0;
    // False when the platform could not form this instance's value at this collection.
    bool valid = false;
};

class CounterQueries {
  public:
    virtual ~CounterQueries() = default;
    virtual QueryHandle openQuery() = 0;
    // Adds a counter by its English (language-independent) path; 0 when it cannot be added.
    virtual CounterHandle addCounter(QueryHandle query, std::u16string_view englishPath) = 0;
    // False when the collection failed: the query's counters still hold the values of
    // the last collection that succeeded.
    virtual bool collect(QueryHandle query) = 0;
    // The counter's latest value as a double, or kFailedCounterRead.
    virtual double read(CounterHandle counter) = 0;
    // The instances that a counter added with a wildcard instance ("(*)", "(chrome*)")
    // matched at its query's latest collection, each formatted as read() formats a
    // single counter; instances come and go between collections. Empty when the
    // counter was not added or nothing matched. The view stays valid until the next
    // call on this object.
    virtual std::span<const CounterInstance> readInstances(CounterHandle counter) = 0;
    virtual void closeQuery(QueryHandle query) = 0;
};

// Work on a rate's counter query that may wait on the system: opening the query, adding
// its counters, collecting and reading them. It runs on one thread at a time, and is
// destroyed on the thread that ran it last.
class QueryWork {
  public:
    virtual ~QueryWork() = default;
    virtual void run() noexcept = 0;
};

// Query work away from the window's thread, for a window whose thread must never wait on
// the system (a provider may stall an add or a collection for seconds). The panel submits
// one run per rate at a time and hears it is over through PanelEngine::collected, on the
// window's thread; meanwhile it neither reads nor changes that work.
class CollectionQueue {
  public:
    virtual ~CollectionQueue() = default;
    // Starts running `work` and returns at once. False when it cannot be started: the
    // tick is skipped.
    virtual bool submit(std::shared_ptr<QueryWork> work) = 0;
    // Lets go of work the panel no longer needs: it is destroyed away from the window's
    // thread, after the run under way if there is one, and never reported.
    virtual void retire(std::shared_ptr<QueryWork> work) noexcept = 0;
};

// What a raised alert tells the user through the system's notifications.
struct AlertNotice {
    std::u16string title;  // the group's name, as the meters' words call it
    std::u16string text;   // the counter, its value and how long it has been in alert
};

// The system's notifications, as the notification area shows them.
class Notifications {
  public:
    virtual ~Notifications() = default;
    // Shows the notice and returns at once, never waiting on another thread or process;
    // a click on it opens the Show values window.
    virtual void show(const AlertNotice& notice) noexcept = 0;
};

// Milliseconds since some fixed moment; never goes back.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual std::uint64_t milliseconds() const = 0;
};

// The operating system's performance information record. Memory figures are pages.
struct PerformanceRecord {
    std::uint64_t commitTotal = 0;
    std::uint64_t commitLimit = 0;
    std::uint64_t commitPeak = 0;
    std::uint64_t physicalTotal = 0;
    std::uint64_t physicalAvailable = 0;
    std::uint64_t systemCache = 0;
    std::uint64_t kernelTotal = 0;
    std::uint64_t kernelPaged = 0;
    std::uint64_t kernelNonpaged = 0;
    std::uint64_t pageSize = 0;
    std::uint32_t handleCount = 0;
    std::uint32_t processCount = 0;
    std::uint32_t threadCount = 0;
    // Filled in at every scope: it does not change while the system runs.
    std::uint32_t logicalProcessors = 0;
};

// What a read must fill in. The physical-memory figures (and the page size) come from a
// cheap call; the rest (commit, cache, kernel pools, counts of handles, processes and
// threads) from one that walks every process in the system.
enum class PerformanceScope { PhysicalMemory, Everything };

class SystemPerformance {
  public:
    virtual ~SystemPerformance() = default;
    // Fields outside the scope need not be filled in.
    virtual PerformanceRecord read(PerformanceScope scope) = 0;
};

// One graphics adapter's performance data as its display driver reports it
// (D3DKMT_ADAPTER_PERFDATA), with the adapter's identity.
struct AdapterPerformance {
    std::uint32_t luidLowPart = 0;
    std::int32_t luidHighPart = 0;
    std::uint32_t physicalIndex = 0;
    // False when the driver would not answer for this adapter; the figures are then 0.
    bool answered = false;
    std::uint64_t memoryFrequency = 0;  // hertz
    std::uint32_t fanRpm = 0;
    std::uint32_t power = 0;        // tenths of a percent of the adapter's power
    std::uint32_t temperature = 0;  // tenths of a degree Celsius; 0 when not reported
};

// The power supply as GetSystemPowerStatus reports it (SYSTEM_POWER_STATUS).
struct PowerStatus {
    static constexpr std::uint8_t kUnknown = 255;
    static constexpr std::uint8_t kNoBattery = 128;  // a bit of batteryFlag
    static constexpr std::uint32_t kUnknownLifeTime = 0xFFFFFFFF;
    std::uint8_t acLineStatus = kUnknown;        // 0 on battery, 1 on mains
    std::uint8_t batteryFlag = kUnknown;         // kNoBattery: the system has none
    std::uint8_t batteryLifePercent = kUnknown;  // 0 to 100
    std::uint32_t batteryLifeTime = kUnknownLifeTime;  // seconds left
};

// The machine's sensors that Windows reports without a driver of ours, and the names of
// its running processes. Called away from the window's thread, one call at a time.
class Sensors {
  public:
    virtual ~Sensors() = default;
    // Every adapter the system enumerates, in place of what `adapters` held; none when it
    // has no adapter performance data to give (before Windows 10 2004, or without a WDDM
    // 2.7 driver). The vector's storage is kept, so that a steady read allocates nothing.
    virtual void readAdapters(std::vector<AdapterPerformance>& adapters) = 0;
    // None when the call failed.
    virtual std::optional<PowerStatus> readPowerStatus() = 0;
    // The program of a running process as Windows names it: its image file's name without
    // the folder and a final ".exe"; none when the process has ended or cannot be asked.
    virtual std::optional<std::u16string> processImageName(std::uint32_t processId) = 0;
};

// The band window as the engine sees it.
class BandWindow {
  public:
    virtual ~BandWindow() = default;
    virtual Rect clientRect() const = 0;
    // Asks for a repaint of the area, with the background erased first.
    virtual void invalidate(const Rect& area) = 0;
};

// Periodic timers of the band window, one per identifier. The callback runs on the
// window's thread and only while the timer is set: killing a timer (or destroying
// the service) guarantees its callback is never called again.
class WindowTimers {
  public:
    using Callback = std::function<void(std::uint64_t timerId)>;
    virtual ~WindowTimers() = default;
    virtual void setTimer(std::uint64_t timerId, std::uint32_t elapseMilliseconds,
                          Callback onElapsed) = 0;
    virtual void killTimer(std::uint64_t timerId) = 0;
};

// One tooltip control with a single tool covering a rectangle of the band window.
// Destroying the object removes the tool and destroys the control.
class GroupTooltip {
  public:
    virtual ~GroupTooltip() = default;
    virtual void moveTo(const Rect& area) = 0;
};

class Tooltips {
  public:
    // What the tip shows, asked each time it is about to show, on the window's thread;
    // "\n" starts a new line and an empty text shows no tip. It may be asked while the
    // tip is being destroyed, and it may throw (the tip then shows nothing).
    using TextSource = std::function<std::u16string()>;

    virtual ~Tooltips() = default;
    // Null when the control could not be created; the group then has no tooltip.
    virtual std::unique_ptr<GroupTooltip> create(TextSource text, const Rect& area) = 0;
};

// Everything the engine needs from the platform, for one band window.
struct PlatformServices {
    Screen& screen;
    SystemVersion& systemVersion;
    CounterQueries& counterQueries;
    SystemPerformance& systemPerformance;
    Sensors& sensors;
    BandWindow& window;
    WindowTimers& timers;
    Tooltips& tooltips;
    SurfaceFactory& surfaces;
    ThemeSettings& theme;
    const UserLocale& locale;
    const Clock& clock;
};

}  // namespace tavisto::platform
