#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <variant>
#include <vector>

#include "config/configuration_checker.h"
#include "config/meter_kinds.h"
#include "panel/meter_panel.h"
#include "render/spoken_values.h"
#include "support/fake_platform.h"
#include "support/panel_samples.h"
#include "support/recording_surface.h"

namespace tavisto {
namespace {

// What each kind is expected to do, written out rather than read from the kind tables,
// so that a wrong entry there shows here. One row per kind and one for any other type.
struct KindCase {
    const char* spelling;
    MeterType type;
    bool keepsHistory;
    bool warnsWithoutCounters;
    bool warnsWithoutUnits;
    bool draws;
    // At a tick that changes no value it shifts its picture by one sample and draws the
    // newest; the other kinds draw nothing.
    bool shifts;
};

constexpr KindCase kKinds[] = {
    {"column", MeterType::Column, false, false, false, true, false},
    {"pie", MeterType::Pie, false, false, false, true, false},
    {"text", MeterType::Text, false, true, true, true, false},
    {"indicator", MeterType::Indicator, false, true, false, true, false},
    {"graph", MeterType::Graph, true, false, false, true, true},
    {"bar", MeterType::Unknown, false, false, false, false, false},
};
static_assert(std::size(kKinds) == kMeterKindCount + 1, "a kind without a row here");

std::string meterOf(const KindCase& kind, const std::string& counters) {
    return std::string(R"({"meterGroups": [{"meters": [{"meterType": ")") + kind.spelling +
           R"(", "width": 20, "refreshRate": 1000)" + counters + "}]}]}";
}

bool findsCode(const std::string& document, const char* code) {
    const std::vector<Finding> findings = checkConfiguration(document);
    return std::ranges::any_of(findings,
                               [&](const Finding& finding) { return finding.code == code; });
}

// Primitives that put pixels down, not the clearing and setup around them.
std::size_t visiblePrimitives(const testing::RecordingSurface& surface) {
    return static_cast<std::size_t>(
        std::ranges::count_if(surface.log, [](const testing::Primitive& primitive) {
            return std::holds_alternative<testing::FillRectangle>(primitive) ||
                   std::holds_alternative<testing::OutlineRectangle>(primitive) ||
                   std::holds_alternative<testing::FillPie>(primitive) ||
                   std::holds_alternative<testing::OutlineEllipse>(primitive) ||
                   std::holds_alternative<testing::DrawString>(primitive);
        }));
}

TEST(MeterKinds, EachKindIsReadCheckedSampledDrawnAndSpokenAsItsEntriesSay) {
    const std::string counter = R"j(, "counters": [{"counterPath": "(\\Processor\\Load)",
        "units": "percent", "minValue": 0, "maxValue": 100, "indicator": "hot",
        "trigger": "> 10"}])j";
    for (const KindCase& kind : kKinds) {
        SCOPED_TRACE(kind.spelling);
        testing::FakePlatform platform;
        testing::RecordingSurfaceFactory surfaces;
        platform.surfaces = &surfaces;
        platform.counterQueries.script(u"\\Processor\\Load", {50.0, 50.0});
        MeterPanel panel(platform.services(), meterOf(kind, counter), BandDirection::Horizontal);

        ASSERT_EQ(panel.model().meters.size(), 1u);
        EXPECT_EQ(panel.model().meters[0].meterType, kind.type);
        EXPECT_EQ(findsCode(meterOf(kind, ""), "no-counters"), kind.warnsWithoutCounters);
        EXPECT_EQ(findsCode(meterOf(kind, R"(, "counters": [{"counterPath": "1"}])"), "units"),
                  kind.warnsWithoutUnits);
        // Start takes the first sample: a history keeps it, a value in range does not.
        EXPECT_EQ(testing::samplesOf(panel, 1000).history.size(), kind.keepsHistory ? 1u : 0u);
        EXPECT_EQ(visiblePrimitives(*surfaces.last) > 0, kind.draws);
        EXPECT_EQ(testing::spokenGroupsOf(panel).at(0).value.empty(), !kind.draws);

        // A tick at the same value: the meter is not cleared and drawn again.
        surfaces.last->log.clear();
        ASSERT_TRUE(platform.timers.fire(1000));
        EXPECT_TRUE(surfaces.last->recorded<testing::ClearToTransparent>().empty());
        EXPECT_EQ(surfaces.last->recorded<testing::ScrollArea>().size(), kind.shifts ? 1u : 0u);
        EXPECT_EQ(visiblePrimitives(*surfaces.last) > 0, kind.shifts);
    }
}

}  // namespace
}  // namespace tavisto
