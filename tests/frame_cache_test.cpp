#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include <nlohmann/json.hpp>

#include "config/configuration_loader.h"
#include "render/layout.h"
#include "render/meter_frame.h"
#include "support/fake_platform.h"

namespace tavisto {
namespace {

TEST(FrameCache, LaterNeighboursAreTheMetersOfTheSameRateWhoseDrawnAreasMeet) {
    const struct {
        const char* name;
        const char* configuration;
        BandDirection direction;
        std::vector<std::vector<std::size_t>> neighbours;  // by meter index
    } cases[] = {
        {"side by side, one rate: each edge is shared with the next meter",
         R"({"meterGroups": [{"maxHeight": 30, "meters": [
             {"meterType": "column", "width": 10}, {"meterType": "column", "width": 10},
             {"meterType": "column", "width": 10}]}]})",
         BandDirection::Horizontal,
         {{1}, {2}, {}}},
        {"a meter of another rate between them: the outer two do not meet",
         R"({"meterGroups": [{"maxHeight": 30, "meters": [
             {"meterType": "column", "width": 10},
             {"meterType": "column", "width": 10, "refreshRate": 2000},
             {"meterType": "column", "width": 10}]}]})",
         BandDirection::Horizontal,
         {{}, {}, {}}},
        {"stacked on a vertical band: each meter meets the one below it, across groups too",
         R"({"meterGroups": [{"maxHeight": 20, "meters": [
             {"meterType": "text", "width": 50}, {"meterType": "text", "width": 50}]},
             {"maxHeight": 20, "meters": [{"meterType": "text", "width": 10}]}]})",
         BandDirection::Vertical,
         {{1}, {2}, {}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        nlohmann::json document = nlohmann::json::parse(c.configuration);
        PanelModel model;
        loadModel(document, LoadContext{}, model);
        testing::FakeBandWindow window;
        window.client =
            c.direction == BandDirection::Horizontal ? Rect{0, 0, 200, 30} : Rect{0, 0, 40, 200};
        PanelLayout layout;
        layoutPanel(model, c.direction, window.client, 1.0, layout, window);
        // A cache left by a larger model is cut down, and its entries start afresh.
        FrameCache cache(5);
        cache[0].current = true;
        cache[0].laterNeighbours = {4};
        rebuildFrameCache(model, layout, cache);

        ASSERT_EQ(cache.size(), c.neighbours.size());
        for (std::size_t index = 0; index < cache.size(); ++index) {
            EXPECT_EQ(cache[index].laterNeighbours, c.neighbours[index]) << "meter " << index;
            EXPECT_FALSE(cache[index].current);
        }
    }
}

}  // namespace
}  // namespace tavisto
