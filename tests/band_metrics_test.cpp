#include "render/band_metrics.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>

namespace tavisto {
namespace {

constexpr BandDirection kHorizontal = BandDirection::Horizontal;
constexpr BandDirection kVertical = BandDirection::Vertical;

// Builds models the way a load leaves them, meters owned by the rate schedule and groups
// pointing at them, with a layout beside them: the groups' rectangles as placed.
class ModelBuilder {
  public:
    ModelBuilder& paddings(std::int32_t horizontal, std::int32_t vertical) {
        model.horizontalPadding = horizontal;
        model.verticalPadding = vertical;
        return *this;
    }
    ModelBuilder& spacings(std::int32_t horizontal, std::int32_t vertical) {
        model.horizontalSpacing = horizontal;
        model.verticalSpacing = vertical;
        return *this;
    }
    MeterGroup& group(Rect rect, GroupOrientation laidOut = GroupOrientation::Unknown) {
        layout.groups.push_back({rect, laidOut});
        return model.groups.emplace_back();
    }
    void meter(MeterGroup& owner, std::int32_t width, std::int32_t height) {
        owner.meters.push_back(model.meters.size());
        model.rates[1000].push_back(model.meters.size());
        Meter& added = model.meters.emplace_back();
        added.width = width;
        added.height = height;
    }

    PanelModel model;
    PanelLayout layout;
};

TEST(BandMetrics, EmptyModelHasNoSize) {
    ModelBuilder builder;
    builder.paddings(2, 4).spacings(3, 5);
    for (const BandDirection direction : {kHorizontal, kVertical}) {
        EXPECT_EQ(minimumThickness(builder.model, builder.layout, direction), 0);
        EXPECT_EQ(actualThickness(builder.model, builder.layout, direction), 0);
        // Only the paddings remain of the length.
        EXPECT_EQ(bandLength(builder.model, builder.layout, direction), 4);
    }
    EXPECT_EQ(bandLength(PanelModel{}, PanelLayout{}, kHorizontal), 0);
}

TEST(BandMetrics, HorizontalBandLengthAddsWidthsSpacingsAndPaddings) {
    ModelBuilder builder;
    builder.paddings(2, 9).spacings(3, 7);
    builder.group({10, 0, 50, 20});
    builder.group({60, 0, 120, 30});
    EXPECT_EQ(bandLength(builder.model, builder.layout, kHorizontal), 110);
}

TEST(BandMetrics, VerticalBandLengthAddsHeightsAndVerticalSpacingButHorizontalPadding) {
    ModelBuilder builder;
    builder.paddings(2, 9).spacings(3, 7);
    builder.group({0, 0, 40, 25});
    builder.group({0, 30, 60, 45});
    // 2 × 2 + (25 + 7) + (15 + 7)
    EXPECT_EQ(bandLength(builder.model, builder.layout, kVertical), 58);
}

TEST(BandMetrics, MinimumThicknessTakesConfiguredMinimumOrMeterSum) {
    ModelBuilder builder;
    builder.paddings(0, 4);
    MeterGroup& group = builder.group({0, 0, 10, 10});
    group.minHeight = 30;
    builder.meter(group, 50, 12);
    builder.meter(group, 60, -1);
    EXPECT_EQ(minimumThickness(builder.model, builder.layout, kHorizontal), 38);
    group.minHeight = -1;
    EXPECT_EQ(minimumThickness(builder.model, builder.layout, kHorizontal), 20);
}

TEST(BandMetrics, MinimumThicknessIsTheLargestOverGroups) {
    ModelBuilder builder;
    builder.paddings(0, 1);
    MeterGroup& small = builder.group({});
    builder.meter(small, -1, 10);
    MeterGroup& large = builder.group({});
    large.minHeight = 25;
    builder.meter(large, -1, 3);
    MeterGroup& middle = builder.group({});
    builder.meter(middle, -1, 8);
    builder.meter(middle, -1, 9);
    EXPECT_EQ(minimumThickness(builder.model, builder.layout, kHorizontal), 27);
}

TEST(BandMetrics, SideBySideGroupInVerticalBandNeedsItsMeterWidths) {
    ModelBuilder builder;
    builder.paddings(0, 2);
    MeterGroup& group = builder.group({}, GroupOrientation::Horizontal);
    group.minWidth = 15;
    group.minHeight = 100;
    builder.meter(group, 11, 40);
    builder.meter(group, 13, 40);
    builder.meter(group, -1, 40);
    EXPECT_EQ(minimumThickness(builder.model, builder.layout, kVertical), 2 * 2 + 24);
    // In a horizontal band the same group is measured by heights and minHeight.
    EXPECT_EQ(minimumThickness(builder.model, builder.layout, kHorizontal), 2 * 2 + 120);
    group.minWidth = 30;
    EXPECT_EQ(minimumThickness(builder.model, builder.layout, kVertical), 2 * 2 + 30);
}

TEST(BandMetrics, TheLaidOutOrientationDecidesNotTheConfiguredOne) {
    ModelBuilder builder;
    MeterGroup& group = builder.group({});
    group.orientation = GroupOrientation::Horizontal;
    builder.meter(group, 11, 40);
    EXPECT_EQ(minimumThickness(builder.model, builder.layout, kVertical), 40);
    builder.layout.groups[0].orientation = GroupOrientation::Horizontal;
    EXPECT_EQ(minimumThickness(builder.model, builder.layout, kVertical), 11);
}

TEST(BandMetrics, ActualThicknessFollowsTheBandDirection) {
    ModelBuilder builder;
    builder.paddings(100, 3);
    builder.group({0, 0, 40, 22});
    builder.group({0, 0, 35, 28});
    EXPECT_EQ(actualThickness(builder.model, builder.layout, kHorizontal), 28 + 6);
    EXPECT_EQ(actualThickness(builder.model, builder.layout, kVertical), 40 + 6);
}

TEST(BandMetrics, HugeConfiguredSizesSaturateInsteadOfWrapping) {
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    ModelBuilder builder;
    builder.paddings(kMax, kMax).spacings(kMax, kMax);
    MeterGroup& group = builder.group({0, 0, kMax, kMax});
    builder.meter(group, kMax, kMax);
    builder.meter(group, kMax, kMax);
    EXPECT_EQ(bandLength(builder.model, builder.layout, kHorizontal), kMax);
    EXPECT_EQ(minimumThickness(builder.model, builder.layout, kHorizontal), kMax);
    EXPECT_EQ(actualThickness(builder.model, builder.layout, kVertical), kMax);
}

TEST(BandMetrics, GroupsSpanningMoreThanTheIntegerRangeSaturateInsteadOfWrapping) {
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    // Layout leaves such a rectangle for a far negative padding and meters wider than the
    // rest of the range: the extent itself does not fit in 32 bits.
    ModelBuilder builder;
    builder.group({-2000000000, -2000000000, 2000000000, 2000000000});
    EXPECT_EQ(bandLength(builder.model, builder.layout, kHorizontal), kMax);
    EXPECT_EQ(bandLength(builder.model, builder.layout, kVertical), kMax);
    EXPECT_EQ(actualThickness(builder.model, builder.layout, kHorizontal), kMax);
    EXPECT_EQ(actualThickness(builder.model, builder.layout, kVertical), kMax);
}

}  // namespace
}  // namespace tavisto
