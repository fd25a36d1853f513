// Both hosts under a PDH that fails: the real Tavisto.dll in the desk-band host (in this
// process) and the real Tavisto.exe --taskbar in a fake taskbar, each with the stand-in
// pdh.dll beside it failing query opens, counter adds, collections and reads by a seeded
// schedule for 10,000 ticks at a 10 ms rate. Neither may crash or break PDH's rules, and
// once the failures stop the meters must show the values the stand-in serves again.
// TAVISTO_PDH_FAULT_TICKS sets another number of ticks (a quicker local run).

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "desk_band_host.h"
#include "fake_taskbar.h"
#include "pdh_control.h"

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
};

class BandHost final : public Host {
  public:
    BandHost() {
        if (module_.get() != nullptr && SUCCEEDED(module_.registerServer())) {
            band_ = std::make_unique<host::HostedBand>(rebar_);
        }
    }
    ~BandHost() override {
        if (band_) {
            band_->close();
        }
    }
    DWORD processId() const override { return GetCurrentProcessId(); }
    bool running() const override { return band_ && IsWindow(band_->window); }
    int count(std::uint32_t rgb) const override {
        return running() ? host::capture(band_->window).count(rgb) : -1;
    }

  private:
    host::LoadedModule module_;
    host::RecordingRebar rebar_{400, 40};
    std::unique_ptr<host::HostedBand> band_;
};

class TaskbarHost final : public Host {
  public:
    DWORD processId() const override { return companion_.id(); }
    bool running() const override { return companion_.exitCode(0) == -1; }
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

INSTANTIATE_TEST_SUITE_P(
    Hosts, PdhFaults,
    ::testing::Values(HostCase{"DeskBand", [] { return std::make_unique<BandHost>(); }},
                      HostCase{"Taskbar", [] { return std::make_unique<TaskbarHost>(); }}),
    [](const ::testing::TestParamInfo<HostCase>& host) { return std::string(host.param.name); });

}  // namespace
}  // namespace tavisto::companion::testing
