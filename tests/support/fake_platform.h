#pragma once
// A platform the tests can drive: set the DPI, script counter values, fire timers,
// and read back what the engine asked for (tooltips, invalidations, queries).

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tavisto::testing {

// Fails one call of the fakes, the way Windows fails it. Every call whose Windows
// backend can fail is counted; the one numbered `failAt` fails with its error result
// (null handle, false, empty, the failed value). Separately, every such call whose
// backend allocates is counted, and the one numbered `throwAt` throws std::bad_alloc.
struct FaultSchedule {
    bool fails(bool allocates);
    long calls = 0;
    long allocatingCalls = 0;
    long failAt = 0;  // 0: none
    long throwAt = 0;
};

class FakeScreen final : public platform::Screen {
  public:
    platform::ScreenDpi dpi() const override { return dpiValue; }
    platform::ScreenDpi dpiValue;
};

class FakeThemeSettings final : public platform::ThemeSettings {
  public:
    platform::TaskbarTheme taskbarTheme() const override { return theme; }
    platform::TaskbarTheme theme = platform::TaskbarTheme::Dark;
};

class FakeUserLocale final : public platform::UserLocale {
  public:
    platform::NumberSeparators numberSeparators() const override { return numbers; }
    std::vector<std::string> preferredLanguages() const override { return languages; }
    platform::NumberSeparators numbers;
    std::vector<std::string> languages{"en-US"};
};

class FakeSystemVersion final : public platform::SystemVersion {
  public:
    bool isWindows10OrLater() const override {
        ++queries;
        return windows10OrLater;
    }
    bool windows10OrLater = true;
    mutable int queries = 0;
};

// Time as the test moves it.
class FakeClock final : public platform::Clock {
  public:
    std::uint64_t milliseconds() const override { return now; }
    std::uint64_t now = 1'000'000;
};

struct ScriptedInstance {
    std::u16string name;
    double value = 0.0;
    bool valid = true;
};

// Counter queries whose values the test scripts per path. Each collect of a query
// moves every counter of that query to the next scripted value of its path, or for a
// wildcard path to the next scripted set of instances (the last one stays). A counter
// reads kFailedCounterRead, and no instance, until its query was collected, and after
// a collection that failed, as PDH's do.
class FakeCounterQueries final : public platform::CounterQueries {
  public:
    platform::QueryHandle openQuery() override;
    platform::CounterHandle addCounter(platform::QueryHandle query,
                                       std::u16string_view englishPath) override;
    bool collect(platform::QueryHandle query) override;
    double read(platform::CounterHandle counter) override;
    std::span<const platform::CounterInstance> readInstances(
        platform::CounterHandle counter) override;
    void closeQuery(platform::QueryHandle query) override;

    void script(const std::u16string& path, std::vector<double> values);
    // The instances a wildcard path matches, one set per collection.
    void scriptInstances(const std::u16string& path,
                         std::vector<std::vector<ScriptedInstance>> collections);
    void failAdding(const std::u16string& path) { unaddablePaths.insert(path); }
    // The path cannot be added until it was tried this many times.
    void failAddingFirst(const std::u16string& path, int attempts) {
        addFailuresLeft[path] = attempts;
    }
    void allowAdding(const std::u16string& path) { unaddablePaths.erase(path); }
    int openFailuresLeft = 0;  // the next opens that fail
    void failReading(const std::u16string& path) { unreadablePaths.insert(path); }
    // The results of the next collections, of any query, in order; then they succeed.
    void scriptCollections(std::vector<bool> results) {
        collectResults.assign(results.begin(), results.end());
    }

    std::set<platform::QueryHandle> openQueries() const { return open; }
    std::vector<std::u16string> pathsOf(platform::QueryHandle query) const;
    int collections(platform::QueryHandle query) const;
    // Counters added to queries that are still open: the handles a backend holds.
    std::size_t liveCounters() const;
    int opened = 0;
    int closed = 0;
    int reads = 0;
    int instanceReads = 0;
    std::map<std::u16string, int> addAttempts;
    FaultSchedule* faults = nullptr;
    // Each add moves this clock on by `addMilliseconds`: a provider slow to add.
    FakeClock* slowAddClock = nullptr;
    std::uint64_t addMilliseconds = 0;

  private:
    bool fails(bool allocates) const { return faults != nullptr && faults->fails(allocates); }
    struct Counter {
        platform::QueryHandle query = 0;
        std::u16string path;
        std::size_t nextSample = 0;
        bool collected = false;  // and the latest collection succeeded
        double value = 0.0;
    };
    struct InstanceScript {
        std::vector<std::vector<ScriptedInstance>> collections;
        // Views of `collections`, built once so that reading allocates nothing.
        std::vector<std::vector<platform::CounterInstance>> views;
    };
    std::map<std::u16string, std::vector<double>> scripts;
    std::map<std::u16string, InstanceScript> instanceScripts;
    std::map<std::u16string, int> addFailuresLeft;
    std::set<std::u16string> unaddablePaths;
    std::set<std::u16string> unreadablePaths;
    std::deque<bool> collectResults;
    std::set<platform::QueryHandle> open;
    std::map<platform::QueryHandle, int> collectCounts;
    std::map<platform::CounterHandle, Counter> counters;
    platform::QueryHandle nextQuery = 0x100;
    platform::CounterHandle nextCounter = 0x1000;
};

class FakeSystemPerformance final : public platform::SystemPerformance {
  public:
    platform::PerformanceRecord read(platform::PerformanceScope scope) override {
        ++reads;
        lastScope = scope;
        if (faults != nullptr && faults->fails(false)) {
            return {};
        }
        return record;
    }
    platform::PerformanceRecord record;
    FaultSchedule* faults = nullptr;
    int reads = 0;
    // Kept without allocating: the allocation tests tick through this fake.
    platform::PerformanceScope lastScope = platform::PerformanceScope::PhysicalMemory;
};

// Sensors that report what a test sets.
class FakeSensors final : public platform::Sensors {
  public:
    void readAdapters(std::vector<platform::AdapterPerformance>& read) override {
        ++adapterReads;
        read = adapters;
    }
    std::optional<platform::PowerStatus> readPowerStatus() override {
        ++powerReads;
        return power;
    }
    std::optional<std::u16string> processImageName(std::uint32_t processId) override {
        ++processNameReads;
        const auto found = processNames.find(processId);
        if (found == processNames.end()) {
            return std::nullopt;
        }
        return found->second;
    }
    std::vector<platform::AdapterPerformance> adapters;
    std::optional<platform::PowerStatus> power;
    // The running processes' names; any other process has ended.
    std::map<std::uint32_t, std::u16string> processNames;
    int adapterReads = 0;
    int powerReads = 0;
    int processNameReads = 0;
};

class FakeBandWindow final : public platform::BandWindow {
  public:
    Rect clientRect() const override {
        return faults != nullptr && faults->fails(false) ? Rect{} : client;
    }
    void invalidate(const Rect& area) override {
        if (faults == nullptr || !faults->fails(false)) {
            invalidations.push_back(area);
        }
    }
    Rect client{0, 0, 200, 40};
    FaultSchedule* faults = nullptr;
    std::vector<Rect> invalidations;
};

class FakeTimers final : public platform::WindowTimers {
  public:
    void setTimer(std::uint64_t timerId, std::uint32_t elapseMilliseconds,
                  Callback onElapsed) override;
    void killTimer(std::uint64_t timerId) override;
    // Runs the timer's callback as the window's message loop would; false when no
    // timer of that identifier is set.
    bool fire(std::uint64_t timerId);
    bool isSet(std::uint64_t timerId) const { return running.count(timerId) != 0; }
    std::size_t setCount() const { return running.size(); }
    std::uint32_t elapseOf(std::uint64_t timerId) const { return running.at(timerId).elapse; }

    std::vector<std::uint64_t> setCalls;
    std::vector<std::uint64_t> killCalls;
    FaultSchedule* faults = nullptr;

  private:
    struct Timer {
        std::uint32_t elapse = 0;
        Callback callback;
    };
    std::map<std::uint64_t, Timer> running;
};

struct TooltipRecord {
    // What the tip would show now.
    platform::Tooltips::TextSource text;
    Rect area;
    int moves = 0;
    bool alive = true;
    FaultSchedule* faults = nullptr;
    // Whether the tip asks for its text as it goes, as a tooltip window may.
    const bool* asksWhileGoing = nullptr;
    std::optional<std::u16string> textWhileGoing;
};

class FakeTooltips final : public platform::Tooltips {
  public:
    std::unique_ptr<platform::GroupTooltip> create(TextSource text, const Rect& area) override;
    std::vector<const TooltipRecord*> live() const;
    std::deque<TooltipRecord> created;  // stable addresses
    bool failCreation = false;
    bool asksWhileGoing = false;
    FaultSchedule* faults = nullptr;
};

// A memory surface that keeps the back-buffer sizes it was given and draws nothing.
class BackBufferLog final : public platform::MemorySurface {
  public:
    bool replaceBackBuffer(int width, int height) override;
    std::unique_ptr<platform::Canvas> beginDrawing() override { return nullptr; }
    std::vector<std::pair<int, int>> backBuffers;
};

class BackBufferLogFactory final : public platform::SurfaceFactory {
  public:
    std::unique_ptr<platform::MemorySurface> createMemorySurface() override;
    int created = 0;
    BackBufferLog* last = nullptr;
};

// Surfaces whose canvases accept every drawing call and draw nothing, failing their
// calls by the schedule: enough for every meter's drawing code to run.
class SilentSurfaceFactory final : public platform::SurfaceFactory {
  public:
    explicit SilentSurfaceFactory(FaultSchedule& faults) : faults_(faults) {}
    std::unique_ptr<platform::MemorySurface> createMemorySurface() override;

  private:
    FaultSchedule& faults_;
};

// All fakes of one band window, bundled for a panel under test.
struct FakePlatform {
    FakePlatform() = default;
    // The fakes that can fail fail by this schedule.
    explicit FakePlatform(FaultSchedule& schedule);
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;
    platform::PlatformServices services() {
        return {screen, systemVersion, counterQueries, systemPerformance, sensors, window,
                timers, tooltips,      *surfaces,      theme,             locale,  clock};
    }
    FakeScreen screen;
    FakeSystemVersion systemVersion;
    FakeCounterQueries counterQueries;
    FakeSystemPerformance systemPerformance;
    FakeSensors sensors;
    FakeBandWindow window;
    FakeTimers timers;
    FakeTooltips tooltips;
    BackBufferLogFactory backBufferLog;
    std::optional<SilentSurfaceFactory> silentSurfaces;
    platform::SurfaceFactory* surfaces = &backBufferLog;
    FakeThemeSettings theme;
    FakeUserLocale locale;
    FakeClock clock;
};

}  // namespace tavisto::testing
