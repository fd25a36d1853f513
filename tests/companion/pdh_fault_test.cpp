// Both hosts under a PDH that fails or stalls: the real Tavisto.dll in the desk-band host
// (in this process) and the real Tavisto.exe --taskbar in a fake taskbar, each with the
// stand-in pdh.dll beside it.
//  - Failing query opens, counter adds, collections and reads by a seeded schedule for
//    10,000 ticks at a 10 ms rate: neither may crash or break PDH's rules, and once the
//    failures stop the meters must show the values the stand-in serves again.
//    TAVISTO_PDH_FAULT_TICKS sets another number of ticks (a quicker local run).
//  - Four taskbars show one engine: no counter added, no collection made for each.
//  - Collections that take 5 s: the window keeps answering, shows the new configuration
//    of a reload at once and the collected values when the collection returns, and ends
//    within a second, leaving nothing behind.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "desk_band_host.h"
#include "fake_taskbar.h"
#include "pdh_control.h"
#include "tavisto_identifiers.h"

namespace tavisto::companion::testing {
namespace {

using tavisto::testing::PdhSchedule;
using tavisto::testing::PdhStandIn;
using tavisto::testing::StandInStatus;
using tavisto::testing::standInStatus;

constexpr std::uint32_t kRed = 0xFF0000;
constexpr std::uint32_t kBlue = 0x0000FF;

// A counter of its own in red, and the busiest instance of a wildcard in blue, both
// sampled every 10 ms (the shortest period Windows timers keep).
// `name` tells two files apart that show the same: a reload that keeps the band's size.
std::string configuration(const std::string& name) {
    return R"json({
  "horizontalPadding": 1, "verticalPadding": 2, "horizontalSpacing": 2,
  "meterGroups": [ { "name": ")json" +
           name + R"json(", "width": 24, "height": 24, "orientation": "horizontal",
    "meters": [
      { "meterType": "column", "width": 10, "refreshRate": 10,
        "counters": [ { "counterPath": "(\\Test(_Total)\\Value)", "color": "#FF0000",
                        "minValue": 0, "maxValue": 100 } ] },
      { "meterType": "column", "width": 10, "refreshRate": 10,
        "counters": [ { "counterPath": "(\\GPU Engine(*)\\Utilization Percentage)",
                        "color": "#0000FF", "minValue": 0, "maxValue": 100,
                        "instances": { "combine": "max" } } ] } ] } ] })json";
}
// Reloads during the failing ticks: each adds the counters anew, under the schedule too.
constexpr std::int64_t kReloads = 9;

const std::string kGpuEngine = "pid_{n}_luid_0x00000000_0x0000F814_phys_0_eng_0_engtype_3D";

std::int64_t ticksToRun() {
    const std::wstring value = host::environmentValue(L"TAVISTO_PDH_FAULT_TICKS");
    return value.empty() ? 10'000 : std::wcstoll(value.c_str(), nullptr, 10);
}

// A host with Tavisto in it, seen from outside.
class Host {
  public:
    virtual ~Host() = default;
    virtual DWORD processId() const = 0;
    virtual bool running() const = 0;
    // Pixels of this colour in what the meters show now; -1 when nothing is shown.
    virtual int count(std::uint32_t rgb) const = 0;
    // The window that shows the meters.
    virtual HWND window() const = 0;
    // Ends the band (closes it as the taskbar does) or the program (as a user's "end
    // task" does); returns once it is gone, or after 5 s.
    virtual void end() = 0;
    // Once ended and the stand-in's collections are over: what was left behind, empty
    // when nothing was.
    virtual std::string leftBehind() = 0;
};

class BandHost final : public Host {
  public:
    BandHost() {
        if (module_.get() == nullptr || FAILED(module_.registerServer())) {
            return;
        }
        // A first band loads what the process keeps once loaded (GDI+, fonts, themes).
        {
            host::HostedBand first(rebar_);
            host::pumpUntil([&] { return host::capture(first.window).count(kRed) > 0; }, 5000);
        }
        host::pumpUntil([this] { return host::threadsStartedIn(module_.get()).empty(); }, 5000);
        before_ = host::resourceCounts();
        band_ = std::make_unique<host::HostedBand>(rebar_);
    }
    ~BandHost() override { end(); }
    DWORD processId() const override { return GetCurrentProcessId(); }
    bool running() const override { return band_ && IsWindow(band_->window); }
    int count(std::uint32_t rgb) const override {
        return running() ? host::capture(band_->window).count(rgb) : -1;
    }
    HWND window() const override { return band_ ? band_->window : nullptr; }
    void end() override {
        if (band_) {
            band_->close();
            band_.reset();
        }
    }
    std::string leftBehind() override {
        // The collector leaves once its collection returns, closing the query it held.
        host::pumpUntil([this] { return host::threadsStartedIn(module_.get()).empty(); }, 10'000);
        const host::ResourceCounts after = host::resourceCounts();
        std::string left;
        if (const auto threads = host::threadsStartedIn(module_.get()); !threads.empty()) {
            left += std::to_string(threads.size()) + " threads of the module; ";
        }
        if (module_.canUnloadNow() != S_OK) {
            left += "the module cannot unload; ";
        }
        if (after != before_) {
            left += "GDI objects " + std::to_string(before_.gdiObjects) + " -> " +
                    std::to_string(after.gdiObjects) + ", windows " +
                    std::to_string(before_.windows) + " -> " + std::to_string(after.windows) +
                    ", handles " + std::to_string(before_.handles) + " -> " +
                    std::to_string(after.handles);
        }
        return left;
    }

  private:
    host::LoadedModule module_;
    host::RecordingRebar rebar_{400, 40};
    host::ResourceCounts before_;
    std::unique_ptr<host::HostedBand> band_;
};

class TaskbarHost final : public Host {
  public:
    DWORD processId() const override { return companion_.id(); }
    bool running() const override { return companion_.exitCode(0) == -1; }
    HWND window() const override { return taskbar_.meters(); }
    // WM_CLOSE to its control window, as "end task" and a session's end send it.
    void end() override {
        for (const HWND window : windowsOf(companion_.id())) {
            wchar_t name[64] = {};
            GetClassNameW(window, name, 64);
            if (std::wstring(name) == TAVISTO_COMPANION_WINDOW_CLASS) {
                PostMessageW(window, WM_CLOSE, 0, 0);
            }
        }
        companion_.exitCode(5000);
    }
    std::string leftBehind() override {
        std::string left;
        if (companion_.exitCode(0) != 0) {
            left += "exit code " + std::to_string(companion_.exitCode(0)) + "; ";
        }
        if (taskbar_.children() != own_) {
            left += "the taskbar's children changed; ";
        }
        if (companionWindowCount() != 0) {
            left += "a window of the companion is left";
        }
        return left;
    }
    int count(std::uint32_t rgb) const override {
        const HWND meters = taskbar_.meters();
        if (meters == nullptr) {
            return -1;
        }
        const Frame frame = requestFrame(meters);
        // Premultiplied: an opaque colour keeps its channels.
        return frame.pixels.empty() ? -1 : frame.count(0xFF000000 | rgb);
    }

  private:
    FakeTaskbar taskbar_;
    std::vector<HWND> own_ = taskbar_.children();
    Companion companion_{L"--taskbar"};
};

struct HostCase {
    const char* name;
    std::function<std::unique_ptr<Host>()> make;
};

class PdhFaults : public ::testing::TestWithParam<HostCase> {
  protected:
    void SetUp() override {
        host::removeFolder(host::configurationFolder());
        CreateDirectoryW(host::configurationFolder().c_str(), nullptr);
    }
    void TearDown() override { host::removeFolder(host::configurationFolder()); }

    PdhStandIn standIn_;
};

std::string describe(const StandInStatus& status) {
    return std::to_string(status.liveQueries) + " live queries, " +
           std::to_string(status.liveCounters) + " live counters, " + std::to_string(status.opens) +
           " opens, " + std::to_string(status.adds) + " adds, " +
           std::to_string(status.collections) + " collections, " + std::to_string(status.misuses) +
           " misuses";
}

// Waits until the red and blue pixel counts stop changing, and gives them; `last`, what
// was shown last.
std::optional<std::pair<int, int>> steadyCounts(const Host& tested, DWORD timeout,
                                                std::pair<int, int>& last) {
    std::optional<std::pair<int, int>> steady;
    host::pumpUntil(
        [&] {
            const std::pair<int, int> now{tested.count(kRed), tested.count(kBlue)};
            if (now == last && now.first > 0 && now.second > 0) {
                steady = now;
                return true;
            }
            last = now;
            host::pumpFor(100);
            return false;
        },
        timeout);
    return steady;
}

TEST_P(PdhFaults, SurviveFailingTicksAndShowTheValuesOnceTheFailuresStop) {
    PdhSchedule failing;
    failing.seed = 28;
    failing.failOpen = 0.05;
    failing.failAdd = 0.5;
    failing.failCollect = 0.3;
    failing.failRead = 0.3;
    failing.instances = 20;
    failing.instancePattern = kGpuEngine;
    ASSERT_TRUE(standIn_.follow(failing));
    ASSERT_TRUE(host::writeNewFile(host::configurationFile(), configuration("pdh")));
    const std::unique_ptr<Host> tested = GetParam().make();
    ASSERT_TRUE(tested->running());

    // The stand-in is there, and the ticks run under the failing schedule.
    const std::int64_t ticks = ticksToRun();
    std::optional<StandInStatus> status;
    const ULONGLONG started = GetTickCount64();
    // At least 10 ms a tick; Wine's timers may be slower, and a crash ends the wait.
    const std::int64_t reloadEvery = std::max<std::int64_t>(ticks / (kReloads + 1), 1);
    std::int64_t nextReload = reloadEvery;
    int reloads = 0;
    const bool ran = host::pumpUntil(
        [&] {
            status = standInStatus(tested->processId());
            if (status && status->collections >= nextReload && nextReload < ticks) {
                host::writeInPlace(host::configurationFile(),
                                   configuration(++reloads % 2 ? "other" : "pdh"));
                nextReload += reloadEvery;
            }
            return !tested->running() || (status && status->collections >= ticks);
        },
        static_cast<DWORD>(ticks * 60 + 20'000));
    const double seconds = static_cast<double>(GetTickCount64() - started) / 1000.0;
    ASSERT_TRUE(status) << "the stand-in pdh.dll is not loaded in the host";
    ASSERT_TRUE(tested->running()) << "ended after " << status->collections << " collections";
    ASSERT_TRUE(ran) << "only " << status->collections << " collections, " << status->opens
                     << " opens and " << status->adds << " adds in " << seconds
                     << " s; shown: " << tested->count(kRed);
    std::printf(
        "%s: %lld collections in %.1f s (%.1f ms a tick), %d reloads: failed %lld "
        "collections, %lld of %lld adds, %lld of %lld opens, %lld of %lld reads, %lld of %lld "
        "array reads\n",
        GetParam().name, static_cast<long long>(status->collections), seconds,
        seconds * 1000.0 / static_cast<double>(status->collections), reloads,
        static_cast<long long>(status->failedCollections),
        static_cast<long long>(status->failedAdds), static_cast<long long>(status->adds),
        static_cast<long long>(status->failedOpens), static_cast<long long>(status->opens),
        static_cast<long long>(status->failedReads), static_cast<long long>(status->reads),
        static_cast<long long>(status->failedArrayReads),
        static_cast<long long>(status->arrayReads));
    // Every kind of failure happened, and PDH's rules held through all of them.
    EXPECT_GT(status->failedCollections, ticks / 5);
    EXPECT_GT(status->failedAdds, 0);
    EXPECT_GT(status->failedReads, 0);
    EXPECT_GT(status->failedArrayReads, 0);
    EXPECT_EQ(status->misuses, 0);

    // The failures stop: every counter reads 100, so both columns fill.
    PdhSchedule healthy;
    healthy.instances = failing.instances;
    healthy.instancePattern = kGpuEngine;
    healthy.value = 100.0;
    ASSERT_TRUE(standIn_.follow(healthy));
    // A failed add is tried again within 10 s of ticks.
    std::pair<int, int> lastShown{-2, -2};
    const std::optional<std::pair<int, int>> full = steadyCounts(*tested, 60'000, lastShown);
    ASSERT_TRUE(full) << "the meters do not fill once the failures stop: red " << lastShown.first
                      << ", blue " << lastShown.second << "; "
                      << describe(*standInStatus(tested->processId()));

    // Then they follow the values served: empty, half, full.
    const struct {
        double value;
        double lowest;  // of the full column's pixels
        double highest;
    } steps[] = {{0.0, 0.0, 0.0}, {50.0, 0.4, 0.6}, {100.0, 1.0, 1.0}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.value);
        healthy.value = step.value;
        ASSERT_TRUE(standIn_.follow(healthy));
        const auto within = [&](int shown, int whole) {
            return shown >= static_cast<int>(step.lowest * whole) &&
                   shown <= static_cast<int>(step.highest * whole + 0.5);
        };
        int red = -1;
        int blue = -1;
        EXPECT_TRUE(host::pumpUntil(
            [&] {
                red = tested->count(kRed);
                blue = tested->count(kBlue);
                return within(red, full->first) && within(blue, full->second);
            },
            10'000))
            << "red " << red << " of " << full->first << ", blue " << blue << " of "
            << full->second;
    }
    EXPECT_TRUE(tested->running());
    EXPECT_EQ(standInStatus(tested->processId())->misuses, 0);
}

// A column of one counter, red up to its value out of 100, in an outline of `outline`,
// sampled every 200 ms; with `absentBeside`, beside a column whose counter never adds, so
// that it is tried again and again while the meters run.
std::string stallConfiguration(const char* outline, bool absentBeside = false) {
    const std::string absent = absentBeside ? R"json(,
    { "meterType": "column", "width": 20, "refreshRate": 200,
      "counters": [ { "counterPath": "(\\Test(_Total)\\Absent)", "minValue": 0,
                      "maxValue": 100 } ] })json"
                                            : "";
    return std::string(R"json({ "horizontalPadding": 1, "verticalPadding": 2,
  "meterGroups": [ { "name": "stall", "width": )json") +
           (absentBeside ? "48" : "24") + R"json(, "height": 24, "meters": [
    { "meterType": "column", "width": 20, "refreshRate": 200, "color": ")json" +
           outline + R"json(",
      "counters": [ { "counterPath": "(\\Test(_Total)\\Value)", "color": "#FF0000",
                      "minValue": 0, "maxValue": 100 } ] })json" +
           absent + " ] } ] }";
}
constexpr std::uint32_t kGreen = 0x00FF00;
constexpr DWORD kStallMilliseconds = 5000;

// Sends WM_NULL to a window from a thread of its own every 50 ms, as the taskbar's
// other windows and the system do, and keeps the longest answer.
class AnswerProbe {
  public:
    explicit AnswerProbe(HWND window)
        : window_(window), stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        thread_.reset(CreateThread(nullptr, 0, probe, this, 0, nullptr));
    }
    ~AnswerProbe() {
        SetEvent(stop_.get());
        WaitForSingleObject(thread_.get(), 5000);
    }
    AnswerProbe(const AnswerProbe&) = delete;
    AnswerProbe& operator=(const AnswerProbe&) = delete;

    ::testing::AssertionResult answeredWithin(ULONGLONG limit, int atLeast) const {
        if (sent_ >= atLeast && unanswered_ == 0 && longest_ <= limit) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure()
               << sent_ << " sent, " << unanswered_ << " unanswered, longest " << longest_ << " ms";
    }

  private:
    static DWORD WINAPI probe(void* self) noexcept {
        auto& probe = *static_cast<AnswerProbe*>(self);
        while (WaitForSingleObject(probe.stop_.get(), 50) == WAIT_TIMEOUT) {
            DWORD_PTR answer = 0;
            const ULONGLONG sent = GetTickCount64();
            if (SendMessageTimeoutW(probe.window_, WM_NULL, 0, 0, SMTO_NORMAL, 200, &answer) == 0) {
                ++probe.unanswered_;
            }
            probe.longest_ = std::max<ULONGLONG>(probe.longest_, GetTickCount64() - sent);
            ++probe.sent_;
        }
        return 0;
    }

    HWND window_;
    win32::KernelHandle stop_;
    win32::KernelHandle thread_;
    std::atomic<int> sent_{0};
    std::atomic<int> unanswered_{0};
    std::atomic<ULONGLONG> longest_{0};
};

class StalledCollection : public PdhFaults {
  protected:
    // Starts the host on a full red column, then stalls every collection for 5 s with the
    // counter at `value`; returns once one stalled collection runs.
    std::unique_ptr<Host> startAndStall(double value) {
        PdhSchedule quick;
        quick.value = 100.0;
        EXPECT_TRUE(standIn_.follow(quick));
        EXPECT_TRUE(host::writeNewFile(host::configurationFile(), stallConfiguration("#00FF00")));
        std::unique_ptr<Host> tested = GetParam().make();
        EXPECT_TRUE(host::pumpUntil([&] { return tested->count(kRed) > 0; }, 10'000));
        host::pumpFor(500);
        fullRed_ = tested->count(kRed);
        PdhSchedule stalled = quick;
        stalled.value = value;
        stalled.sleepCollectMilliseconds = kStallMilliseconds;
        EXPECT_TRUE(standIn_.follow(stalled));
        EXPECT_TRUE(stallRuns(*tested));
        return tested;
    }
    // Waits until a stalled collection runs; the stall started at most 200 ms before.
    ::testing::AssertionResult stallRuns(const Host& tested) {
        const bool runs = host::pumpUntil(
            [&] {
                const auto status = standInStatus(tested.processId());
                return status && status->collectingNow > 0;
            },
            2000);
        stallStarted_ = GetTickCount64();
        return runs ? ::testing::AssertionSuccess()
                    : ::testing::AssertionFailure() << "no collection stalls";
    }
    ULONGLONG sinceStall() const { return GetTickCount64() - stallStarted_; }

    int fullRed_ = 0;
    ULONGLONG stallStarted_ = 0;
};

TEST_P(StalledCollection, WindowAnswersAndDrawsTheCollectedValuesThenAReloadShowsAtOnce) {
    const std::unique_ptr<Host> tested = startAndStall(50.0);
    ASSERT_GT(fullRed_, 0);
    const AnswerProbe probe(tested->window());
    // Until the collection returns the frame keeps its values: the column stays full.
    host::pumpFor(2000);
    EXPECT_EQ(tested->count(kRed), fullRed_);
    // Then it shows the value collected: half.
    int red = -1;
    EXPECT_TRUE(host::pumpUntil(
        [&] {
            red = tested->count(kRed);
            return red >= fullRed_ * 4 / 10 && red <= fullRed_ * 6 / 10;
        },
        kStallMilliseconds + 3000))
        << "red " << red << " of " << fullRed_;
    EXPECT_GE(sinceStall(), kStallMilliseconds - 1000);

    // The next collection stalls in turn; a reload meanwhile shows the new outline at once,
    // empty until its own first collection.
    ASSERT_TRUE(stallRuns(*tested));
    ASSERT_TRUE(host::writeInPlace(host::configurationFile(), stallConfiguration("#0000FF")));
    EXPECT_TRUE(host::pumpUntil(
        [&] { return tested->count(kBlue) > 0 && tested->count(kGreen) == 0; }, 1500));
    EXPECT_LT(sinceStall(), kStallMilliseconds) << "the reload waited for the collection";
    EXPECT_TRUE(probe.answeredWithin(200, 40));
    EXPECT_EQ(standInStatus(tested->processId())->misuses, 0);
}

TEST_P(StalledCollection, EndsWithinASecondAndLeavesNothingBehind) {
    const std::unique_ptr<Host> tested = startAndStall(100.0);
    host::pumpFor(500);
    const ULONGLONG ending = GetTickCount64();
    tested->end();
    EXPECT_LE(GetTickCount64() - ending, 1000u);
    EXPECT_FALSE(tested->running());
    EXPECT_LT(sinceStall(), kStallMilliseconds) << "the stall was over before the end";
    EXPECT_EQ(tested->leftBehind(), "");
    // In the band's process the query the collection held is closed once it returned,
    // never while it ran.
    if (const auto status = standInStatus(tested->processId())) {
        EXPECT_EQ(status->liveQueries, 0);
        EXPECT_EQ(status->misuses, 0);
    }
}

constexpr unsigned kSlowAddMilliseconds = 2000;

// Every counter add takes 2 s, as a first add does on some machines: the window keeps
// answering through the load, a reload and the retries of the counter that never adds,
// shows the new layout of a reload at once, and its thread never calls PDH.
using StalledAdd = PdhFaults;

TEST_P(StalledAdd, WindowAnswersThroughLoadReloadAndRetriesAndNeverCallsPdh) {
    PdhSchedule slow;
    slow.value = 100.0;
    slow.sleepAddMilliseconds = kSlowAddMilliseconds;
    slow.refusedPaths = {"\\Test(_Total)\\Absent"};
    ASSERT_TRUE(standIn_.follow(slow));
    ASSERT_TRUE(host::writeNewFile(host::configurationFile(), stallConfiguration("#00FF00", true)));
    const std::unique_ptr<Host> tested = GetParam().make();
    ASSERT_TRUE(host::pumpUntil([&] { return tested->window() != nullptr; }, 5000));
    {
        const AnswerProbe probe(tested->window());
        EXPECT_TRUE(host::pumpUntil([&] { return tested->count(kGreen) > 0; }, 1500))
            << "the outline waited for an add";
        EXPECT_TRUE(host::pumpUntil([&] { return tested->count(kRed) > 0; }, 10'000));

        ASSERT_TRUE(
            host::writeInPlace(host::configurationFile(), stallConfiguration("#0000FF", true)));
        EXPECT_TRUE(host::pumpUntil(
            [&] { return tested->count(kBlue) > 0 && tested->count(kGreen) == 0; }, 1500))
            << "the reload waited for an add";
        EXPECT_TRUE(host::pumpUntil([&] { return tested->count(kRed) > 0; }, 10'000));
        // Retries of the absent counter, each a 2 s add on the collector's thread.
        const std::int64_t failedBefore =
            standInStatus(tested->processId()).value_or(StandInStatus{}).failedAdds;
        EXPECT_TRUE(host::pumpUntil(
            [&] {
                const auto status = standInStatus(tested->processId());
                // Tried, then again after 1 s and 2 s, each try taking 2 s.
                return status && status->failedAdds >= failedBefore + 3;
            },
            15'000))
            << describe(standInStatus(tested->processId()).value_or(StandInStatus{}));
        EXPECT_TRUE(probe.answeredWithin(200, 100));
    }
    const auto status = standInStatus(tested->processId());
    ASSERT_TRUE(status);
    const DWORD windowThread = GetWindowThreadProcessId(tested->window(), nullptr);
    for (const std::uint32_t caller : status->callerThreads) {
        EXPECT_NE(caller, windowThread) << "the window's thread called PDH";
    }
    EXPECT_EQ(status->misuses, 0);
}

// Every taskbar's window is a view of one engine: taskbars that come and go add no
// counter and no collection, and a save adds each counter once, however many taskbars
// show it.
class SharedEngine : public ::testing::Test {
  protected:
    void SetUp() override {
        host::removeFolder(host::configurationFolder());
        CreateDirectoryW(host::configurationFolder().c_str(), nullptr);
        ASSERT_TRUE(standIn_.follow(PdhSchedule{}));
    }
    void TearDown() override { host::removeFolder(host::configurationFolder()); }

    // Two meters name one path, a third another, all at one rate: two counters to add.
    static std::string configuration(const std::string& name) {
        const std::string column = R"json({ "meterType": "column", "width": 10,
            "refreshRate": 100, "counters": [ { "counterPath": "(\\Test(_Total)\\PATH)",
            "color": "#FF0000", "minValue": 0, "maxValue": 100 } ] })json";
        const auto meter = [&](const std::string& path) {
            std::string text = column;
            text.replace(text.find("PATH"), 4, path);
            return text;
        };
        return R"json({ "taskbar": { "monitors": "all" }, "meterGroups": [ { "name": ")json" +
               name + R"json(", "width": 34, "meters": [ )json" + meter("Value") + ", " +
               meter("Value") + ", " + meter("Other") + " ] } ] }";
    }
    StandInStatus status() const {
        return standInStatus(companion_->id()).value_or(StandInStatus{});
    }
    // Collections per second over `milliseconds`.
    double collectionsPerSecond(DWORD milliseconds) const {
        const std::int64_t before = status().collections;
        const ULONGLONG started = GetTickCount64();
        host::pumpFor(milliseconds);
        return static_cast<double>(status().collections - before) * 1000.0 /
               static_cast<double>(GetTickCount64() - started);
    }

    PdhStandIn standIn_;
    std::unique_ptr<Companion> companion_;
};

TEST_F(SharedEngine, TaskbarsThatComeAndGoAddNoCounterAndNoCollection) {
    ASSERT_TRUE(host::writeNewFile(host::configurationFile(), configuration("first")));
    const FakeTaskbar primary;
    companion_ = std::make_unique<Companion>(L"--taskbar");
    ASSERT_TRUE(host::pumpUntil(
        [&] { return primary.meters() != nullptr && status().collections >= 5; }, 10'000))
        << describe(status());
    const double withOne = collectionsPerSecond(3000);
    EXPECT_EQ(status().adds, 2) << "a path named twice at one rate is added once";

    std::vector<std::unique_ptr<FakeTaskbar>> secondary;
    for (int index = 0; index < 3; ++index) {
        secondary.push_back(
            std::make_unique<FakeTaskbar>(Scenario{.kind = TaskbarKind::Secondary, .length = 500}));
    }
    ASSERT_TRUE(host::pumpUntil([] { return companionWindowCount() == 4; }, 10'000));
    const double withFour = collectionsPerSecond(3000);
    EXPECT_GT(withOne, 2.0);
    EXPECT_LT(withFour, withOne * 1.5) << withOne << " collections per second with one taskbar";
    EXPECT_EQ(status().adds, 2) << describe(status());
    EXPECT_EQ(status().opens, 1) << describe(status());

    // A save may reach the watcher as more than one change, each read loading the one
    // engine again (2 adds); an engine per taskbar would add 8 at the first read.
    ASSERT_TRUE(host::writeInPlace(host::configurationFile(), configuration("second")));
    EXPECT_TRUE(host::pumpUntil([&] { return status().adds >= 4; }, 10'000));
    host::pumpFor(1000);
    const std::int64_t afterSave = status().adds;
    EXPECT_LT(afterSave, 2 + 8) << "a save reloads one engine, not one per taskbar";
    EXPECT_EQ(afterSave % 2, 0) << describe(status());

    secondary.clear();
    EXPECT_TRUE(host::pumpUntil([] { return companionWindowCount() == 1; }, 10'000));
    host::pumpFor(1000);
    EXPECT_EQ(status().adds, afterSave) << describe(status());
    EXPECT_EQ(status().misuses, 0);
}

const HostCase kHosts[] = {
    {"DeskBand", [] { return std::make_unique<BandHost>(); }},
    {"Taskbar", [] { return std::make_unique<TaskbarHost>(); }},
};
std::string hostName(const ::testing::TestParamInfo<HostCase>& host) {
    return host.param.name;
}
INSTANTIATE_TEST_SUITE_P(Hosts, PdhFaults, ::testing::ValuesIn(kHosts), hostName);
INSTANTIATE_TEST_SUITE_P(Hosts, StalledCollection, ::testing::ValuesIn(kHosts), hostName);
INSTANTIATE_TEST_SUITE_P(Hosts, StalledAdd, ::testing::ValuesIn(kHosts), hostName);

}  // namespace
}  // namespace tavisto::companion::testing
