// Runs arbitrary configuration text through everything a band does with it on the
// taskbar's thread: the bounded parse, a panel on fake platform services, sampling
// ticks that draw on a recording surface, both band directions, a reload with a second
// document, and teardown. Checks that the panel stays within the limits and that
// nothing it made outlives it.
//
// Input: one byte of options (screen DPI, band direction and client size), then the
// first document; a NUL byte, when present, starts the document of the reload.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "config/configuration_text.h"
#include "panel/meter_panel.h"
#include "support/fake_platform.h"
#include "support/recording_surface.h"

namespace {

using namespace tavisto;

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Values that reach every branch of the value computation and formatting: zero,
// negatives, fractions, and magnitudes beyond any range or 32-bit pixel count.
const std::vector<double> kSamples = {0.0, 37.5, -12.0, 1e15, 3e-7, -1e300, 1e300};

void scriptEveryCounter(const MeterPanel& panel, testing::FakeCounterQueries& queries) {
    for (const Meter& meter : panel.model().meters) {
        for (const MeterCounter& counter : meter.counters) {
            for (const auto& [name, reference] : counter.references) {
                queries.script(reference.path, kSamples);
            }
        }
    }
}

void tickEveryRate(const MeterPanel& panel, testing::FakeTimers& timers) {
    std::vector<std::uint64_t> rates;
    for (const auto& [rate, meters] : panel.model().rates) {
        rates.push_back(rate);
    }
    for (int round = 0; round < 3; ++round) {
        for (const std::uint64_t rate : rates) {
            timers.fire(rate);
        }
    }
}

void checkRunningPanel(const MeterPanel& panel, const testing::FakePlatform& platform) {
    const PanelModel& model = panel.model();
    require(model.groups.size() <= kMaxEnabledGroups);
    require(model.rates.size() <= kMaxRefreshRates);
    std::size_t meters = 0;
    std::size_t references = 0;
    std::size_t queries = 0;
    for (const auto& [rate, list] : model.rates) {
        meters += list.size();
        queries += panel.queryOf(rate) != 0 ? 1u : 0u;
        for (const std::size_t index : list) {
            require(index < model.meters.size());
            require(model.meters[index].counters.size() <= kMaxCountersPerMeter);
            for (const MeterCounter& counter : model.meters[index].counters) {
                references += counter.references.size();
            }
        }
    }
    require(meters <= kMaxMeters && meters == model.meters.size());
    require(panel.layout().groups.size() == model.groups.size());
    require(panel.layout().meters.size() == meters);
    require(references <= kMaxReferencesPerFile);
    require(platform.tooltips.live().size() == model.groups.size());
    require(platform.counterQueries.openQueries().size() == queries);
}

void run(std::uint8_t options, std::string_view first, std::string_view second) {
    testing::FakePlatform platform;
    testing::RecordingSurfaceFactory surfaces;
    platform.surfaces = &surfaces;
    constexpr int kDpi[] = {96, 120, 144, 192};
    platform.screen.dpiValue = {kDpi[options & 3], kDpi[(options >> 2) & 3]};
    const Rect kClients[] = {{0, 0, 400, 40}, {0, 0, 40, 400}, {0, 0, 0, 0}, {0, 0, 1, 1}};
    platform.window.client = kClients[(options >> 4) & 3];
    const BandDirection direction =
        ((options >> 6) & 1) != 0 ? BandDirection::Horizontal : BandDirection::Vertical;
    const BandDirection across = direction == BandDirection::Horizontal ? BandDirection::Vertical
                                                                        : BandDirection::Horizontal;
    platform.systemPerformance.record = {1u << 30, 2u << 30, 3u << 30, 8ull << 30, 3ull << 30,
                                         1u << 29, 1u << 28, 1u << 27, 1u << 26,   4096,
                                         50000,    300,      4000};

    std::string error;
    std::unique_ptr<MeterPanel> panel =
        MeterPanel::create(platform.services(), std::string(first), direction, error);
    if (!panel) {
        require(!error.empty());
        require(platform.tooltips.live().empty());
        require(platform.counterQueries.openQueries().empty());
        return;
    }
    checkRunningPanel(*panel, platform);
    scriptEveryCounter(*panel, platform.counterQueries);
    tickEveryRate(*panel, platform.timers);
    panel->relayout(across);
    panel->relayout(direction);

    // A text that does not parse leaves the panel running as it was.
    panel->reload(std::string(second), across);
    checkRunningPanel(*panel, platform);
    scriptEveryCounter(*panel, platform.counterQueries);
    tickEveryRate(*panel, platform.timers);
    panel->stop();
    require(platform.tooltips.live().empty());
    require(platform.counterQueries.openQueries().empty());
    panel.reset();
    require(platform.tooltips.live().empty());
    require(platform.counterQueries.openQueries().empty());
    for (const std::uint64_t rate : platform.timers.setCalls) {
        require(!platform.timers.isSet(rate));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t separator = text.find('\0');
    const std::string_view first = text.substr(0, separator);
    const std::string_view second =
        separator == std::string_view::npos ? first : text.substr(separator + 1);
    run(data[0], first, second);
    return 0;
}
