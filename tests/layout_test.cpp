#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include <nlohmann/json.hpp>

#include "config/configuration_loader.h"
#include "render/layout.h"
#include "support/fake_platform.h"

namespace tavisto {
namespace {

using testing::FakeBandWindow;

constexpr BandDirection kHorizontal = BandDirection::Horizontal;
constexpr BandDirection kVertical = BandDirection::Vertical;

// A configuration laid out in a band window of the given client size, at 96 DPI unless
// another scale is given.
struct LaidOutPanel {
    LaidOutPanel(const char* configuration, Rect client, BandDirection direction,
                 double scale = 1.0) {
        window.client = client;
        nlohmann::json document = nlohmann::json::parse(configuration);
        loadModel(document, LoadContext{}, model);
        layoutPanel(model, direction, client, scale, layout, window);
    }
    const GroupPlacement& group(std::size_t index) const { return layout.groups.at(index); }
    const MeterPlacement& meter(std::size_t group, std::size_t index) const {
        return layout.meters.at(model.groups.at(group).meters.at(index));
    }

    FakeBandWindow window;
    PanelModel model;
    PanelLayout layout;
};

TEST(HorizontalBandLayout, AutomaticGroupWidthIsTheSumOfItsMeterWidths) {
    LaidOutPanel panel(R"({"horizontalPadding": 4, "meterGroups": [
        {"meters": [{"width": 20}, {"width": 30}, {"width": 25}]}]})",
                       Rect{0, 0, 300, 40}, kHorizontal);
    EXPECT_EQ(panel.group(0).rect, (Rect{4, 0, 79, 40}));
    EXPECT_EQ(panel.meter(0, 0).rect, (Rect{4, 0, 24, 40}));
    EXPECT_EQ(panel.meter(0, 1).rect, (Rect{24, 0, 54, 40}));
    EXPECT_EQ(panel.meter(0, 2).rect, (Rect{54, 0, 79, 40}));
}

TEST(HorizontalBandLayout, GroupIsCentredVerticallyOnlyWhenTheBandIsTallerThanItsMaxHeight) {
    LaidOutPanel panel(R"({"verticalPadding": 2, "meterGroups": [
        {"maxHeight": 30, "meters": [{"width": 10}]}]})",
                       Rect{0, 0, 300, 40}, kHorizontal);
    // 40 - 4 = 36 > 30: top = round(20 - 15) = 5, height = min(40 - 10, 30) = 30.
    EXPECT_EQ(panel.group(0).rect, (Rect{0, 5, 10, 35}));

    LaidOutPanel roomy(R"({"verticalPadding": 2, "meterGroups": [
        {"maxHeight": 36, "meters": [{"width": 10}]}]})",
                       Rect{0, 0, 300, 40}, kHorizontal);
    EXPECT_EQ(roomy.group(0).rect, (Rect{0, 2, 10, 38}));
}

TEST(HorizontalBandLayout, TopOffsetCarriesOverToTheNextGroup) {
    LaidOutPanel panel(R"({"verticalPadding": 2, "horizontalPadding": 3, "horizontalSpacing": 5,
        "meterGroups": [
            {"maxHeight": 20, "meters": [{"width": 10}]},
            {"maxHeight": 30, "meters": [{"width": 12}]}]})",
                       Rect{0, 0, 300, 40}, kHorizontal);
    EXPECT_EQ(panel.group(0).rect, (Rect{3, 10, 13, 30}));
    // 40 - 20 = 20 is not greater than 30: the top stays 10 and the height is min(20, 30).
    EXPECT_EQ(panel.group(1).rect, (Rect{18, 10, 30, 30}));
}

TEST(HorizontalBandLayout, ConfiguredGroupSizeWinsAndMetersAreCentredWithFloor) {
    LaidOutPanel panel(R"({"meterGroups": [
        {"width": 75, "height": 30, "meters": [{"width": 30}, {"width": 40}]},
        {"width": 69, "height": 30, "meters": [{"width": 30}, {"width": 40}]}]})",
                       Rect{0, 0, 300, 30}, kHorizontal);
    // (75 - 70) / 2 = 2.5 floors to 2.
    EXPECT_EQ(panel.group(0).rect, (Rect{0, 0, 75, 30}));
    EXPECT_EQ(panel.meter(0, 0).rect, (Rect{2, 0, 32, 30}));
    EXPECT_EQ(panel.meter(0, 1).rect, (Rect{32, 0, 72, 30}));
    // (69 - 70) / 2 = -0.5 floors to -1: the meters overhang both sides.
    EXPECT_EQ(panel.group(1).rect, (Rect{75, 0, 144, 30}));
    EXPECT_EQ(panel.meter(1, 0).rect, (Rect{74, 0, 104, 30}));
    EXPECT_EQ(panel.meter(1, 1).rect, (Rect{104, 0, 144, 30}));
}

TEST(HorizontalBandLayout, MetersAreSideBySideWhateverTheConfiguredOrientation) {
    LaidOutPanel panel(R"({"meterGroups": [
        {"orientation": "vertical", "maxHeight": 30, "meters": [{"width": 10}, {"width": 10}]}]})",
                       Rect{0, 0, 300, 30}, kHorizontal);
    for (const std::size_t meter : panel.model.groups[0].meters) {
        const MeterPlacement& placed = panel.layout.of(meter);
        EXPECT_TRUE(placed.sideBySide);
        EXPECT_TRUE(placed.drawsColumns);
        EXPECT_EQ(placed.barLength, 28.0);
    }
    EXPECT_EQ(panel.meter(0, 1).rect, (Rect{10, 0, 20, 30}));
}

TEST(VerticalBandLayout, FitTestDecidesTheOrientationAndKeepsTheConfiguredOne) {
    LaidOutPanel panel(R"({"verticalPadding": 3, "verticalSpacing": 4, "meterGroups": [
        {"orientation": "vertical", "maxHeight": 30, "meters": [{"width": 29}, {"width": 30}]},
        {"orientation": "horizontal", "maxHeight": 30, "meters": [{"width": 30}, {"width": 30}]}]})",
                       Rect{0, 0, 60, 400}, kVertical);
    // 59 < 60: side by side across the band, centred with round((60 - 59) / 2) = 1.
    const GroupPlacement& across = panel.group(0);
    EXPECT_EQ(across.orientation, GroupOrientation::Horizontal);
    EXPECT_EQ(panel.model.groups[0].orientation, GroupOrientation::Unknown);
    EXPECT_EQ(across.rect, (Rect{1, 3, 60, 33}));
    EXPECT_EQ(panel.meter(0, 0).rect, (Rect{1, 3, 30, 33}));
    EXPECT_EQ(panel.meter(0, 1).rect, (Rect{30, 3, 60, 33}));
    EXPECT_FALSE(panel.meter(0, 0).sideBySide);
    EXPECT_TRUE(panel.meter(0, 0).drawsColumns);
    EXPECT_EQ(panel.meter(0, 0).barLength, 28.0);

    // 60 is not less than 60: turned on its side, 30 across (maxHeight) and 60 along.
    const GroupPlacement& onItsSide = panel.group(1);
    EXPECT_EQ(onItsSide.orientation, GroupOrientation::Unknown);
    EXPECT_EQ(panel.model.groups[1].orientation, GroupOrientation::Horizontal);
    EXPECT_EQ(onItsSide.rect, (Rect{15, 37, 45, 97}));
    EXPECT_EQ(panel.meter(1, 0).rect, (Rect{15, 37, 45, 67}));
    EXPECT_EQ(panel.meter(1, 1).rect, (Rect{15, 67, 45, 97}));
    EXPECT_FALSE(panel.meter(1, 0).sideBySide);
    EXPECT_FALSE(panel.meter(1, 0).drawsColumns);
    EXPECT_EQ(panel.meter(1, 0).barLength, 28.0);
}

TEST(VerticalBandLayout, GroupOnItsSideUsesItsHeightAcrossAndPaddingLimitsIt) {
    LaidOutPanel panel(R"({"horizontalPadding": 10, "meterGroups": [
        {"maxHeight": 100, "meters": [{"width": 50}, {"width": 20}]},
        {"width": 90, "height": 24, "meters": [{"width": 50}, {"width": 20}]}]})",
                       Rect{0, 0, 60, 400}, kVertical);
    // Across: min(60 - 20, 100) = 40, centred at round(10) = 10; along: 70.
    EXPECT_EQ(panel.group(0).rect, (Rect{10, 0, 50, 70}));
    // Configured: 24 across, centred at round(18) = 18; 90 along, meters centred with floor(10).
    EXPECT_EQ(panel.group(1).rect, (Rect{18, 70, 42, 160}));
    EXPECT_EQ(panel.meter(1, 0).rect, (Rect{18, 80, 42, 130}));
    EXPECT_EQ(panel.meter(1, 1).rect, (Rect{18, 130, 42, 150}));
    EXPECT_EQ(panel.meter(1, 0).barLength, 22.0);
}

TEST(VerticalBandLayout, TheConfiguredOrientationOutlivesAVerticalLayout) {
    LaidOutPanel panel(R"({"meterGroups": [
        {"orientation": "horizontal", "maxHeight": 30, "meters": [{"width": 40}, {"width": 40}]}]})",
                       Rect{0, 0, 60, 400}, kVertical);
    ASSERT_EQ(panel.group(0).orientation, GroupOrientation::Unknown);
    EXPECT_FALSE(panel.meter(0, 1).drawsColumns);
    // Back in a horizontal band the meters go side by side again, as configured.
    layoutPanel(panel.model, kHorizontal, Rect{0, 0, 400, 30}, 1.0, panel.layout, panel.window);
    EXPECT_EQ(panel.group(0).rect, (Rect{0, 0, 80, 30}));
    EXPECT_EQ(panel.meter(0, 1).rect, (Rect{40, 0, 80, 30}));
    EXPECT_EQ(panel.group(0).orientation, GroupOrientation::Horizontal);
    EXPECT_EQ(panel.model.groups[0].orientation, GroupOrientation::Horizontal);
    EXPECT_TRUE(panel.meter(0, 1).drawsColumns);
    EXPECT_TRUE(panel.meter(0, 1).sideBySide);
}

// The model keeps the file's 96-DPI pixels; each layout scales every size by its screen's
// scale, rounded half away from zero, and the same model lays out again at another.
TEST(Layout, ScalesEverySizeOfTheModelForTheScreen) {
    const char* configuration = R"({"horizontalPadding": 2, "verticalPadding": 3,
        "horizontalSpacing": 6, "meterGroups": [
        {"meters": [{"width": 12}, {"width": 64}, {"width": -1}]},
        {"width": -1, "height": 20, "meters": [{"width": 11}]}]})";
    LaidOutPanel panel(configuration, Rect{0, 0, 400, 100}, kHorizontal, 1.5);
    // Padding 3 and top 4.5 → 5; widths 18 and 96; the group's height is the default
    // maxHeight 40 at 1.5: 60.
    EXPECT_EQ(panel.group(0).rect, (Rect{3, 20, 117, 80}));
    EXPECT_EQ(panel.meter(0, 1).rect, (Rect{21, 20, 117, 80}));
    EXPECT_EQ(panel.meter(0, 2).extent, 0);
    // Spacing 9; a group width of -1 is automatic at every scale (16.5 → 17), its
    // height 30 centred.
    EXPECT_EQ(panel.group(1).rect, (Rect{126, 35, 143, 65}));

    layoutPanel(panel.model, kHorizontal, Rect{0, 0, 400, 100}, 1.0, panel.layout, panel.window);
    EXPECT_EQ(panel.group(0).rect, (Rect{2, 30, 78, 70}));
    EXPECT_EQ(panel.meter(0, 1).extent, 64);
}

TEST(Layout, GroupWithoutMetersIsPlacedAndInvalidated) {
    LaidOutPanel panel(R"({"horizontalSpacing": 2, "meterGroups": [
        {"maxHeight": 40}, {"maxHeight": 40, "meters": [{"width": 10}]}]})",
                       Rect{0, 0, 300, 40}, kHorizontal);
    EXPECT_EQ(panel.group(0).rect, (Rect{0, 0, 0, 40}));
    EXPECT_EQ(panel.group(1).rect, (Rect{2, 0, 12, 40}));
    EXPECT_EQ(panel.window.invalidations, (std::vector<Rect>{{0, 0, 0, 40}, {2, 0, 12, 40}}));
}

TEST(Layout, MeterWithoutWidthTakesNoRoom) {
    LaidOutPanel panel(R"({"meterGroups": [
        {"maxHeight": 40, "meters": [{"width": 10}, {"meterType": "column"}, {"width": 10}]}]})",
                       Rect{0, 0, 300, 40}, kHorizontal);
    EXPECT_EQ(panel.group(0).rect, (Rect{0, 0, 20, 40}));
    EXPECT_EQ(panel.meter(0, 1).rect, (Rect{10, 0, 10, 40}));
    EXPECT_EQ(panel.meter(0, 2).rect, (Rect{10, 0, 20, 40}));
    EXPECT_EQ(panel.meter(0, 1).extent, 0);
}

TEST(Layout, HugeConfiguredSizesSaturateInsteadOfWrapping) {
    LaidOutPanel panel(R"({"horizontalPadding": 100, "horizontalSpacing": 100, "meterGroups": [
        {"height": 30, "meters": [{"width": 2147483647}, {"width": 2147483647}]},
        {"height": 30, "meters": [{"width": 5}]}]})",
                       Rect{0, 0, 300, 30}, kHorizontal);
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    EXPECT_EQ(panel.group(0).rect, (Rect{100, 0, kMax, 30}));
    EXPECT_EQ(panel.meter(0, 1).rect.right, kMax);
    EXPECT_EQ(panel.group(1).rect, (Rect{kMax, 0, kMax, 30}));
}

TEST(VerticalBandLayout, PaddingsFrom2To30DoNotWrapWhenDoubled) {
    const struct {
        const char* configuration;
        Rect group;
    } cases[] = {
        // Side by side: along = 400 - 2 * 2^30, from y = 2^30.
        {R"({"verticalPadding": 1073741824, "meterGroups": [
            {"maxHeight": 40, "meters": [{"width": 10}]}]})",
         Rect{25, 1073741824, 35, -1073741424}},
        {R"({"verticalPadding": 2147483647, "meterGroups": [
            {"maxHeight": 40, "meters": [{"width": 10}]}]})",
         Rect{25, 2147483647, 35, -2147483247}},
        // On its side: across = 60 - 2 * 2^30, centred at round((60 - across) / 2).
        {R"({"horizontalPadding": 1073741824, "meterGroups": [
            {"maxHeight": 100, "meters": [{"width": 50}, {"width": 20}]}]})",
         Rect{1073741824, 0, -1073741764, 70}},
    };
    for (const auto& test : cases) {
        LaidOutPanel panel(test.configuration, Rect{0, 0, 60, 400}, kVertical);
        EXPECT_EQ(panel.group(0).rect, test.group) << test.configuration;
    }
}

}  // namespace
}  // namespace tavisto
