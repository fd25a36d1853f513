#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "render/meters.h"
#include "render/value_format.h"
#include "support/placed_meter.h"
#include "support/recording_surface.h"

namespace tavisto {
namespace {

using testing::PlacedMeter;
using testing::SampledCounter;
using testing::setCounters;

using platform::RenderQuality;
using platform::TextAlignment;
using testing::BeginDrawing;
using testing::CreateFont;
using testing::DrawString;
using testing::FillPie;
using testing::FillRectangle;
using testing::OutlineEllipse;
using testing::OutlineRectangle;
using testing::RecordingSurface;
using testing::SetQuality;

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// A value's text with the separators of an English locale.
ValueText englishText(CounterUnits units, double value, int decimals = kUnitDecimals) {
    return formatValue(units, value, decimals, platform::NumberSeparators{});
}

// A counter with one reference, whose latest sample is its value.
SampledCounter counterWithValue(double value, double minValue = 0.0, double maxValue = 100.0,
                                std::u16string color = u"#FF0000") {
    SampledCounter counter;
    counter.color = parseColour(color);
    counter.minValue = minValue;
    counter.maxValue = maxValue;
    counter.font = u"Arial";
    counter.references["a"] = CounterReference{CounterReference::PerformanceCounter, u"\\T\\a"};
    counter.sample = value;
    return counter;
}

PlacedMeter meterAt(Rect rect, std::int32_t width, const std::vector<SampledCounter>& counters,
                    double barLength = 0.0) {
    PlacedMeter meter;
    meter.placement.rect = rect;
    meter.width = width;
    meter.placement.barLength = barLength;
    meter.color = parseColour(u"#0000FF");
    setCounters(meter, counters);
    return meter;
}

TEST(ColorConversion, ReadsSixHexDigitsAfterTheFirstCharacter) {
    EXPECT_EQ(parseColour(u"#00FF00").on(platform::TaskbarTheme::Dark), 0xFF00FF00U);
    EXPECT_EQ(parseColour(u"#1a2B3c").on(platform::TaskbarTheme::Dark), 0xFF1A2B3CU);
    // An alpha in front is lost with the digits beyond six; short forms are not expanded.
    EXPECT_EQ(parseColour(u"#80FF0000").on(platform::TaskbarTheme::Dark), 0xFFFF0000U);
    EXPECT_EQ(parseColour(u"#123456789ABC").on(platform::TaskbarTheme::Dark), 0xFF789ABCU);
    EXPECT_EQ(parseColour(u"#FFF").on(platform::TaskbarTheme::Dark), 0xFF000FFFU);
    // Whatever the first character is, it is dropped.
    EXPECT_EQ(parseColour(u"x00FF00").on(platform::TaskbarTheme::Dark), 0xFF00FF00U);
}

TEST(ColorConversion, ReadsLikeScanfHex) {
    EXPECT_EQ(parseColour(u"# \t0x12ab").on(platform::TaskbarTheme::Dark), 0xFF0012ABU);
    EXPECT_EQ(parseColour(u"#12345G7").on(platform::TaskbarTheme::Dark), 0xFF012345U);
    EXPECT_EQ(parseColour(u"#-1").on(platform::TaskbarTheme::Dark), 0xFFFFFFFFU);
    // "0x" without a digit after it is the number 0.
    EXPECT_EQ(parseColour(u"#0xZZ").on(platform::TaskbarTheme::Dark), 0xFF000000U);
}

TEST(ColorConversion, TextWithoutDigitsGivesOpaqueWhite) {
    EXPECT_EQ(parseColour(u"").on(platform::TaskbarTheme::Dark), 0xFFFFFFFFU);
    EXPECT_EQ(parseColour(u"#").on(platform::TaskbarTheme::Dark), 0xFFFFFFFFU);
    EXPECT_EQ(parseColour(u"#red").on(platform::TaskbarTheme::Dark), 0xFFFFFFFFU);
    EXPECT_EQ(parseColour(u"#  ").on(platform::TaskbarTheme::Dark), 0xFFFFFFFFU);
}

TEST(ColumnMeter, FillsUpwardFromTheBottomAndOutlinesTheMeter) {
    RecordingSurface surface;
    PlacedMeter meter = meterAt(
        Rect{10, 5, 20, 35}, 10,
        {counterWithValue(30.0, 0, 100, u"#FF0000"), counterWithValue(40.0, 0, 100, u"#00FF00")},
        28.0);
    drawColumnVariant(meter, meter.samples, meter.placement, meter.frame, surface,
                      platform::TaskbarTheme::Dark);
    // round(0.28 * 30) = 8 fills 27 to 35; round(0.28 * 40) = 11 fills 16 to 27.
    EXPECT_EQ(
        surface.log,
        (std::vector<testing::Primitive>{
            BeginDrawing{}, SetQuality{RenderQuality::Shapes},
            FillRectangle{0xFFFF0000, 10, 27, 10, 8}, FillRectangle{0xFF00FF00, 10, 16, 10, 11},
            OutlineRectangle{0xFF0000FF, 10, 5, 10, 30}, testing::EndDrawing{}}));
}

TEST(ColumnMeter, BarLengthScalesTheBareValueByTheRange) {
    RecordingSurface surface;
    PlacedMeter meter =
        meterAt(Rect{0, 0, 10, 30}, 10,
                {counterWithValue(50.0, 0, 100), counterWithValue(2.0, 5, 5),
                 counterWithValue(60.0, 50, 100), counterWithValue(7.0, -kInfinity, kInfinity)},
                28.0);
    drawColumnVariant(meter, meter.samples, meter.placement, meter.frame, surface,
                      platform::TaskbarTheme::Dark);
    const auto fills = surface.recorded<FillRectangle>();
    ASSERT_EQ(fills.size(), 4U);
    EXPECT_EQ(fills[0].height, 14);  // round(0.28 * 50)
    // An empty range counts as 1; the value is moved into the range first: 28 * 5.
    EXPECT_EQ(fills[1].height, 140);
    // Not offset by minValue: round(28 / 50 * 60) = round(33.6).
    EXPECT_EQ(fills[2].height, 34);
    // The default infinite range gives no bar at all.
    EXPECT_EQ(fills[3].height, 0);
    EXPECT_EQ(fills[3].y, 30 - 14 - 140 - 34);
}

TEST(ColumnMeter, NegativeValueMovesTheCursorBack) {
    RecordingSurface surface;
    PlacedMeter meter =
        meterAt(Rect{0, 0, 10, 30}, 10,
                {counterWithValue(-25.0, -100, 100), counterWithValue(50.0, -100, 100)}, 28.0);
    drawColumnVariant(meter, meter.samples, meter.placement, meter.frame, surface,
                      platform::TaskbarTheme::Dark);
    EXPECT_EQ(
        surface.recorded<FillRectangle>(),
        (std::vector<FillRectangle>{{0xFFFF0000, 0, 34, 10, -4}, {0xFFFF0000, 0, 27, 10, 7}}));
}

TEST(ColumnMeter, OversizedBarsSaturateInsteadOfWrapping) {
    RecordingSurface surface;
    // An empty range at 1e12 scales to far beyond 32 bits.
    PlacedMeter meter =
        meterAt(Rect{0, 0, 10, 30}, 10,
                {counterWithValue(1e12, 1e12, 1e12), counterWithValue(1e12, 1e12, 1e12)}, 28.0);
    drawColumnVariant(meter, meter.samples, meter.placement, meter.frame, surface,
                      platform::TaskbarTheme::Dark);
    constexpr int kMax = std::numeric_limits<int>::max();
    EXPECT_EQ(
        surface.recorded<FillRectangle>(),
        (std::vector<FillRectangle>{{0xFFFF0000, 0, 30 - kMax, 10, kMax},
                                    {0xFFFF0000, 0, std::numeric_limits<int>::min(), 10, kMax}}));
}

TEST(BarMeter, FillsRightwardFromTheLeftAcrossTheGroup) {
    RecordingSurface surface;
    // Stacked in a group 60 wide: the rectangle spans the group, the thickness is the width.
    PlacedMeter meter = meterAt(
        Rect{100, 20, 160, 32}, 12,
        {counterWithValue(25.0, 0, 100, u"#112233"), counterWithValue(50.0, 0, 100, u"#445566")},
        58.0);
    drawBarVariant(meter, meter.samples, meter.placement, meter.frame, surface,
                   platform::TaskbarTheme::Dark);
    // Quotient first: 58 / 100 * 25 is 14.4999... in doubles and rounds to 14 (the
    // product first would give exactly 14.5 and 15); 58 / 100 * 50 rounds to 29.
    EXPECT_EQ(
        surface.recorded<FillRectangle>(),
        (std::vector<FillRectangle>{{0xFF112233, 100, 20, 14, 12}, {0xFF445566, 114, 20, 29, 12}}));
    EXPECT_EQ(surface.recorded<OutlineRectangle>(),
              (std::vector<OutlineRectangle>{{0xFF0000FF, 100, 20, 60, 12}}));
}

TEST(PieMeter, SectorsFollowClockwiseFromTwelveOClock) {
    RecordingSurface surface;
    PlacedMeter meter = meterAt(Rect{0, 2, 30, 30}, 30,
                                {counterWithValue(25.0, 0, 100, u"#FF0000"), counterWithValue(0.0),
                                 counterWithValue(50.0, 0, 100, u"#00FF00")});
    drawPieMeter(meter, meter.samples, meter.placement, meter.frame, surface,
                 platform::TaskbarTheme::Dark);
    // Width 30 and height 28: diameter 28, moved right by round(1.0).
    EXPECT_EQ(surface.log, (std::vector<testing::Primitive>{
                               BeginDrawing{}, SetQuality{RenderQuality::Shapes},
                               FillPie{0xFFFF0000, 1, 2, 28, 28, -90.0F, 90.0F},
                               FillPie{0xFF00FF00, 1, 2, 28, 28, 0.0F, 180.0F},
                               OutlineEllipse{0xFF0000FF, 1, 2, 28, 28}, testing::EndDrawing{}}));
}

TEST(PieMeter, CircleIsCentredAlongTheLongerSide) {
    RecordingSurface tall;
    PlacedMeter narrow = meterAt(Rect{5, 2, 25, 30}, 20, {});
    drawPieMeter(narrow, narrow.samples, narrow.placement, narrow.frame, tall,
                 platform::TaskbarTheme::Dark);
    EXPECT_EQ(tall.recorded<OutlineEllipse>(),
              (std::vector<OutlineEllipse>{{0xFF0000FF, 5, 6, 20, 20}}));

    // Stacked: the rectangle spans the group but the extent across is the meter's width.
    RecordingSurface wide;
    PlacedMeter stacked = meterAt(Rect{5, 2, 205, 22}, 30, {});
    drawPieMeter(stacked, stacked.samples, stacked.placement, stacked.frame, wide,
                 platform::TaskbarTheme::Dark);
    EXPECT_EQ(wide.recorded<OutlineEllipse>(),
              (std::vector<OutlineEllipse>{{0xFF0000FF, 10, 2, 20, 20}}));
}

TEST(PieMeter, SweepsAreWholeDegreesOfTheBareValue) {
    RecordingSurface surface;
    PlacedMeter meter =
        meterAt(Rect{0, 0, 20, 20}, 20,
                {counterWithValue(1.0, 0, 3), counterWithValue(1.0, 0, 7),
                 counterWithValue(-10.0, -100, 100), counterWithValue(5.0, -kInfinity, kInfinity),
                 counterWithValue(std::nan(""), 0, 100)});
    drawPieMeter(meter, meter.samples, meter.placement, meter.frame, surface,
                 platform::TaskbarTheme::Dark);
    const auto pies = surface.recorded<FillPie>();
    // The NaN sample, not available, is left out.
    ASSERT_EQ(pies.size(), 4U);
    EXPECT_EQ(pies[0].sweepAngle, 120.0F);
    // 360 / 7 = 51.43 rounds to 51.
    EXPECT_EQ(pies[1].startAngle, 30.0F);
    EXPECT_EQ(pies[1].sweepAngle, 51.0F);
    // Negative values sweep back from the current start: round(-18) = -18.
    EXPECT_EQ(pies[2].startAngle, 81.0F);
    EXPECT_EQ(pies[2].sweepAngle, -18.0F);
    // The default infinite range gives an empty sector.
    EXPECT_EQ(pies[3].startAngle, 63.0F);
    EXPECT_EQ(pies[3].sweepAngle, 0.0F);
}

TEST(ValueFormat, ByteRatesStepByThousands) {
    EXPECT_EQ(englishText(CounterUnits::BytesPerSecond, 999.6), u"1000 B/s");
    EXPECT_EQ(englishText(CounterUnits::BytesPerSecond, 1000.0), u"1000 B/s");
    EXPECT_EQ(englishText(CounterUnits::BytesPerSecond, 1000.5), u"1 KB/s");
    EXPECT_EQ(englishText(CounterUnits::BytesPerSecond, 1'500'000.0), u"2 MB/s");
    EXPECT_EQ(englishText(CounterUnits::BytesPerSecond, -5.4), u"-5 B/s");
    EXPECT_EQ(englishText(CounterUnits::BytesPerSecond, 0.0), u"0 B/s");
    EXPECT_EQ(englishText(CounterUnits::BytesPerSecond, 2.5e9), u"3 GB/s");
    EXPECT_EQ(englishText(CounterUnits::BytesPerSecond, 7.2e12), u"7 TB/s");
    EXPECT_EQ(englishText(CounterUnits::BytesPerSecond, 4.4e15), u"4 PB/s");
}

TEST(ValueFormat, PercentIsAWholeNumberWithoutSpace) {
    EXPECT_EQ(englishText(CounterUnits::Percent, 42.5), u"43%");
    EXPECT_EQ(englishText(CounterUnits::Percent, -42.5), u"-43%");
    EXPECT_EQ(englishText(CounterUnits::Percent, 100.0), u"100%");
    // A small negative value rounds to zero, not to "-0%".
    EXPECT_EQ(englishText(CounterUnits::Percent, -0.4), u"0%");
}

TEST(ValueFormat, RoundsToSixDecimalsBeforeTheWholeNumber) {
    // "%f" turns 0.4999996 into 0.500000, which then rounds up.
    EXPECT_EQ(englishText(CounterUnits::Percent, 0.4999996), u"1%");
    EXPECT_EQ(englishText(CounterUnits::Percent, 0.4999994), u"0%");
    EXPECT_EQ(englishText(CounterUnits::BytesPerSecond, 1000.0000004), u"1000 B/s");
}

TEST(ValueFormat, OtherUnitsShowNothing) {
    EXPECT_EQ(englishText(CounterUnits::Unknown, 42.0), u"");
}

TEST(ValueFormat, ValuesBeyondThirtyTwoBitsAreShownInFull) {
    EXPECT_EQ(englishText(CounterUnits::Percent, 3e9), u"3000000000%");
    EXPECT_EQ(englishText(CounterUnits::Percent, -2147483648.0), u"-2147483648%");
    EXPECT_EQ(englishText(CounterUnits::Percent, 2147483647.4), u"2147483647%");
    EXPECT_EQ(englishText(CounterUnits::Percent, 2147483647.5), u"2147483648%");
    // Past 1000 PB/s the rate stays in PB/s.
    EXPECT_EQ(englishText(CounterUnits::BytesPerSecond, 1e18), u"1000 PB/s");
    EXPECT_EQ(englishText(CounterUnits::BytesPerSecond, 1.5e18), u"1500 PB/s");
    EXPECT_EQ(englishText(CounterUnits::BytesPerSecond, 2e24), u"2000000000 PB/s");
    // Only rates above 1000 step up, so negative ones stay in B/s.
    EXPECT_EQ(englishText(CounterUnits::BytesPerSecond, -3e9), u"-3000000000 B/s");
}

TEST(ValueFormat, TheLargestValuesAreShownWithEveryDigit) {
    const double largest = std::numeric_limits<double>::max();
    // A sign, 309 digits and the unit.
    const ValueText percentText = englishText(CounterUnits::Percent, -largest);
    const std::u16string_view percent = percentText.view();
    EXPECT_EQ(percent.size(), 311U);
    EXPECT_EQ(percent.substr(0, 8), u"-1797693");
    EXPECT_EQ(percent.substr(307), u"368%");
    // Five steps of 1000 take 15 digits off.
    const ValueText rateText = englishText(CounterUnits::BytesPerSecond, largest);
    const std::u16string_view rate = rateText.view();
    EXPECT_EQ(rate.size(), 294U + 5U);
    EXPECT_EQ(rate.substr(0, 7), u"1797693");
    EXPECT_EQ(rate.substr(294), u" PB/s");
}

// Every unit with and without "decimals" at the values that move a text: a prefix's
// edge, a rounding that reaches the next prefix, negatives, the huge and the non-finite.
TEST(ValueFormat, EachUnitReadsAsTaskManagerDoes) {
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    const struct {
        CounterUnits units;
        double value;
        int decimals;
        std::u16string_view shown;
    } cases[] = {
        {CounterUnits::BitsPerSecond, 1'500'000, kUnitDecimals, u"1.5 Mbps"},
        {CounterUnits::BitsPerSecond, 999.95e3, kUnitDecimals, u"1.0 Mbps"},
        {CounterUnits::BitsPerSecond, 150e6, kUnitDecimals, u"150 Mbps"},
        {CounterUnits::BitsPerSecond, 512, kUnitDecimals, u"512 bps"},
        {CounterUnits::BitsPerSecond, 0, 2, u"0.00 bps"},
        {CounterUnits::BitsPerSecond, 1e18, kUnitDecimals, u"1,000 Pbps"},
        {CounterUnits::Bytes, 8'589'934'592, kUnitDecimals, u"8.0 GB"},
        {CounterUnits::Bytes, 1023.96 * 1024, kUnitDecimals, u"1.0 MB"},
        {CounterUnits::Bytes, -2048, kUnitDecimals, u"-2.0 KB"},
        {CounterUnits::Bytes, 1536, 3, u"1.500 KB"},
        {CounterUnits::Count, 1234, kUnitDecimals, u"1,234"},
        {CounterUnits::Count, 12'345, kUnitDecimals, u"12.3K"},
        {CounterUnits::Count, 9999.6, kUnitDecimals, u"10.0K"},
        {CounterUnits::Count, 999'999, kUnitDecimals, u"1.0M"},
        {CounterUnits::Count, -1234.5, 1, u"-1,234.5"},
        {CounterUnits::Celsius, 41.6, kUnitDecimals, u"42 \u00B0C"},
        {CounterUnits::Celsius, -0.4, kUnitDecimals, u"0 \u00B0C"},
        {CounterUnits::Celsius, 41.65, 1, u"41.6 \u00B0C"},
        {CounterUnits::Watts, 35.2, kUnitDecimals, u"35 W"},
        {CounterUnits::Rpm, 1200, kUnitDecimals, u"1,200 RPM"},
        {CounterUnits::Hertz, 3.2e9, kUnitDecimals, u"3.2 GHz"},
        {CounterUnits::Hertz, 3.2e9, 2, u"3.20 GHz"},
        {CounterUnits::Seconds, 5000, kUnitDecimals, u"1 h 23 min"},
        {CounterUnits::Seconds, 45.4, kUnitDecimals, u"45 s"},
        {CounterUnits::Seconds, 59.7, kUnitDecimals, u"1 min"},
        {CounterUnits::Seconds, 3599.9, kUnitDecimals, u"1 h 0 min"},
        {CounterUnits::Seconds, -5000, kUnitDecimals, u"-1 h 23 min"},
        // The first two units keep their text without "decimals", and take digits with it.
        {CounterUnits::Percent, 42.5, kUnitDecimals, u"43%"},
        {CounterUnits::Percent, 42.46, 1, u"42.5%"},
        {CounterUnits::BytesPerSecond, 1'500'000, kUnitDecimals, u"2 MB/s"},
        {CounterUnits::BytesPerSecond, 1'500'000, 2, u"1.50 MB/s"},
        {CounterUnits::BytesPerSecond, 999.96, 1, u"1.0 KB/s"},
        // Not a number, for every unit: a dash; unknown units: nothing.
        {CounterUnits::Percent, kInfinity, kUnitDecimals, u"\u2014"},
        {CounterUnits::BytesPerSecond, -kInfinity, kUnitDecimals, u"\u2014"},
        {CounterUnits::Bytes, kNaN, 1, u"\u2014"},
        {CounterUnits::Seconds, kNaN, kUnitDecimals, u"\u2014"},
        {CounterUnits::Unknown, kNaN, kUnitDecimals, u""},
        {CounterUnits::Unknown, 42, 2, u""},
    };
    for (const auto& each : cases) {
        EXPECT_EQ(englishText(each.units, each.value, each.decimals), each.shown)
            << static_cast<int>(each.units) << " " << each.value << " with " << each.decimals;
    }
    // The largest counts keep every digit and their separators.
    const ValueText huge = englishText(CounterUnits::Count, std::numeric_limits<double>::max());
    EXPECT_TRUE(huge.view().ends_with(u"T"));
    EXPECT_EQ(huge.view().size(), 297U + 98U + 1U);
}

// The locale's separators take the place of the point and of the grouping comma, in a
// text meter's line as in any value; without a thousands separator nothing is grouped.
TEST(ValueFormat, NumbersAreWrittenWithTheLocalesSeparators) {
    const platform::NumberSeparators english;
    const platform::NumberSeparators german{u",", u"."};
    const platform::NumberSeparators french{u",", u"\u202F"};
    const platform::NumberSeparators ungrouped{u",", u""};
    const struct {
        const platform::NumberSeparators& numbers;
        CounterUnits units;
        double value;
        int decimals;
        std::u16string_view shown;
    } cases[] = {
        {english, CounterUnits::BytesPerSecond, 1'500'000, 1, u"1.5 MB/s"},
        {german, CounterUnits::BytesPerSecond, 1'500'000, 1, u"1,5 MB/s"},
        {german, CounterUnits::Percent, 42.46, 1, u"42,5%"},
        {german, CounterUnits::Rpm, 1200, kUnitDecimals, u"1.200 RPM"},
        {german, CounterUnits::Count, -1234.5, 1, u"-1.234,5"},
        {german, CounterUnits::BitsPerSecond, 1e18, kUnitDecimals, u"1.000 Pbps"},
        {german, CounterUnits::Seconds, 12.5, 1, u"12,5 s"},
        {french, CounterUnits::Rpm, 1'234'567, kUnitDecimals, u"1\u202F234\u202F567 RPM"},
        {french, CounterUnits::Count, 1234.5, 2, u"1\u202F234,50"},
        {french, CounterUnits::Hertz, 3.2e9, kUnitDecimals, u"3,2 GHz"},
        {ungrouped, CounterUnits::Rpm, 1200, kUnitDecimals, u"1200 RPM"},
        {ungrouped, CounterUnits::Count, 9876.5, 1, u"9876,5"},
    };
    for (const auto& each : cases) {
        EXPECT_EQ(formatValue(each.units, each.value, each.decimals, each.numbers), each.shown)
            << static_cast<int>(each.units) << " " << each.value << " with " << each.decimals;
    }
    MeterCounter share;
    share.units = CounterUnits::Percent;
    share.decimals = 1;
    EXPECT_EQ(textMeterLine(share, 0.5, 2.0, german), u"25,0%");
    // Separators as long as a locale's may be still leave room for every digit.
    const platform::NumberSeparators longest{u"<.>", u"<,>"};
    const ValueText huge =
        formatValue(CounterUnits::Rpm, -std::numeric_limits<double>::max(), 3, longest);
    EXPECT_EQ(huge.view().size(), 1U + 309U + 102U * 3U + 3U + 3U + 4U);
    EXPECT_TRUE(huge.view().ends_with(u"<,>368<.>000 RPM"));
}

TEST(TriggerTest, ComparesByTheOperatorText) {
    EXPECT_TRUE(triggerHolds(81.0, 80.0, TriggerOperator::Greater));
    EXPECT_FALSE(triggerHolds(80.0, 80.0, TriggerOperator::Greater));
    EXPECT_TRUE(triggerHolds(80.0, 80.0, TriggerOperator::GreaterOrEqual));
    EXPECT_FALSE(triggerHolds(79.0, 80.0, TriggerOperator::GreaterOrEqual));
    EXPECT_TRUE(triggerHolds(79.0, 80.0, TriggerOperator::Less));
    EXPECT_FALSE(triggerHolds(80.0, 80.0, TriggerOperator::Less));
    EXPECT_TRUE(triggerHolds(80.0, 80.0, TriggerOperator::LessOrEqual));
    EXPECT_FALSE(triggerHolds(81.0, 80.0, TriggerOperator::LessOrEqual));
    EXPECT_TRUE(triggerHolds(0.5, 0.5, TriggerOperator::Equal));
    // Exact equality of doubles.
    EXPECT_FALSE(triggerHolds(0.1 + 0.2, 0.3, TriggerOperator::Equal));
}

TEST(TriggerTest, UnknownOperatorsAndNanAreFalse) {
    EXPECT_FALSE(triggerHolds(1.0, 0.0, TriggerOperator::None));
    EXPECT_FALSE(triggerHolds(1.0, 0.0, TriggerOperator::Unknown));
    const double nan = std::nan("");
    using enum TriggerOperator;
    for (const TriggerOperator op : {Greater, GreaterOrEqual, Less, LessOrEqual, Equal}) {
        EXPECT_FALSE(triggerHolds(nan, 0.0, op));
        EXPECT_FALSE(triggerHolds(0.0, nan, op));
    }
}

SampledCounter textCounter(double value, std::u16string units, double minValue = 0.0,
                           double maxValue = 100.0) {
    SampledCounter counter = counterWithValue(value, minValue, maxValue, u"#FFFFFF");
    counter.units = closedSetValue<CounterUnits>(units, kCounterUnits);
    return counter;
}

std::vector<std::u16string> linesOf(const RecordingSurface& surface) {
    std::vector<std::u16string> lines;
    for (const DrawString& line : surface.recorded<DrawString>()) {
        lines.push_back(line.text);
    }
    return lines;
}

TEST(TextMeter, EachCounterGetsARightAlignedLineInItsSlice) {
    RecordingSurface surface;
    SampledCounter first = textCounter(42.5, u"percent");
    first.font = u"Verdana";
    first.fontSize = 12;
    first.color = parseColour(u"#00FF00");
    PlacedMeter meter =
        meterAt(Rect{10, 20, 60, 60}, 50,
                {first, textCounter(1'500'000.0, u"bytes/second", 0, 1e9), textCounter(3.0, u"")});
    drawTextMeter(meter, meter.samples, meter.placement, meter.frame, surface,
                  DrawSettings{platform::TaskbarTheme::Dark, true});
    // 40 / 3 = 13: lines start at 20, 33 and 46.
    EXPECT_EQ(
        surface.log,
        (std::vector<testing::Primitive>{
            BeginDrawing{}, SetQuality{RenderQuality::TextModern}, CreateFont{u"Verdana", 12.0F},
            DrawString{u"43%", u"Verdana", 12.0F, 0xFF00FF00, RectF{10, 20, 50, 13},
                       TextAlignment::Far, TextAlignment::Center},
            CreateFont{u"Arial", 7.0F},
            DrawString{u"2 MB/s", u"Arial", 7.0F, 0xFFFFFFFF, RectF{10, 33, 50, 13},
                       TextAlignment::Far, TextAlignment::Center},
            CreateFont{u"Arial", 7.0F},
            DrawString{u"", u"Arial", 7.0F, 0xFFFFFFFF, RectF{10, 46, 50, 13}, TextAlignment::Far,
                       TextAlignment::Center},
            testing::EndDrawing{}}));
}

// A counter that lists its busiest instances takes a line per place in the list: the
// value at the far side of the whole slice, the name at the near side of what is left;
// a place no instance fills stays blank.
TEST(TextMeter, ListedInstancesTakeALineEachNameBeforeValue) {
    RecordingSurface surface;
    SampledCounter listing = textCounter(50.0, u"percent");
    listing.instances.emplace().top = 3;
    PlacedMeter meter = meterAt(Rect{0, 0, 60, 40}, 60, {listing, textCounter(7.0, u"percent")});
    TopInstances& top = meter.samples.counters[0].top;
    top.ranked = {{u"chrome", 40.0}, {u"a program with a long name", 5.0}, {}};
    top.count = 2;
    drawTextMeter(meter, meter.samples, meter.placement, meter.frame, surface,
                  DrawSettings{platform::TaskbarTheme::Dark});
    // 40 / 4 = 10 per line; the recording canvas measures 3.5 px per character at 7 px,
    // so "40%" and a space leave 60 - 14 = 46 for the name.
    const auto drawn = surface.recorded<testing::DrawLine>();
    ASSERT_EQ(drawn.size(), 4U);
    const struct {
        std::u16string text;
        RectF layout;
        TextAlignment alignment;
    } expected[] = {
        {u"40%", RectF{0, 0, 60, 10}, TextAlignment::Far},
        {u"chrome", RectF{0, 0, 46, 10}, TextAlignment::Near},
        {u"5%", RectF{0, 10, 60, 10}, TextAlignment::Far},
        {u"a program with a long name", RectF{0, 10, 49.5F, 10}, TextAlignment::Near},
    };
    for (std::size_t i = 0; i < drawn.size(); ++i) {
        EXPECT_EQ(drawn[i].text, expected[i].text);
        EXPECT_EQ(drawn[i].layout, expected[i].layout);
        EXPECT_EQ(drawn[i].alignment, expected[i].alignment);
    }
    EXPECT_EQ(linesOf(surface), (std::vector<std::u16string>{u"", u"7%"}));
    EXPECT_EQ(surface.recorded<DrawString>()[1].layout, (RectF{0, 30, 60, 10}));

    EXPECT_TRUE(showsLastDrawnText(meter, meter.samples, meter.placement, meter.frame, {}));
    // Another instance in second place, with the same value: the lines change.
    top.ranked[1].name = u"code";
    EXPECT_FALSE(showsLastDrawnText(meter, meter.samples, meter.placement, meter.frame, {}));
}

TEST(TextMeter, PercentScalesTheBareValueByTheRange) {
    RecordingSurface surface;
    PlacedMeter meter =
        meterAt(Rect{0, 0, 40, 40}, 40,
                {textCounter(50.0, u"percent", 0, 200), textCounter(60.0, u"percent", 50, 100),
                 textCounter(0.5, u"percent", 0, 1)});
    drawTextMeter(meter, meter.samples, meter.placement, meter.frame, surface,
                  DrawSettings{platform::TaskbarTheme::Dark});
    EXPECT_EQ(linesOf(surface), (std::vector<std::u16string>{u"25%", u"120%", u"50%"}));
}

TEST(TextMeter, UnmetTriggerShowsZero) {
    RecordingSurface surface;
    std::vector<SampledCounter> counters{textCounter(50.0, u"percent"),
                                         textCounter(50.0, u"bytes/second"),
                                         textCounter(90.0, u"percent"), textCounter(50.0, u"")};
    for (SampledCounter& counter : counters) {
        counter.triggerOperator = TriggerOperator::Greater;
        counter.triggerValue = 80.0;
    }
    PlacedMeter meter = meterAt(Rect{0, 0, 40, 40}, 40, counters);
    drawTextMeter(meter, meter.samples, meter.placement, meter.frame, surface,
                  DrawSettings{platform::TaskbarTheme::Dark});
    EXPECT_EQ(linesOf(surface), (std::vector<std::u16string>{u"0%", u"0 B/s", u"90%", u""}));
}

TEST(TextMeter, TriggerComparesThePercentage) {
    RecordingSurface surface;
    SampledCounter counter = textCounter(50.0, u"percent", 0, 50);
    counter.triggerOperator = TriggerOperator::GreaterOrEqual;
    counter.triggerValue = 100.0;
    PlacedMeter meter = meterAt(Rect{0, 0, 40, 20}, 40, {counter});
    drawTextMeter(meter, meter.samples, meter.placement, meter.frame, surface,
                  DrawSettings{platform::TaskbarTheme::Dark});
    EXPECT_EQ(linesOf(surface), (std::vector<std::u16string>{u"100%"}));
}

TEST(TextMeter, PercentOfAnEmptyRangeShowsNothing) {
    RecordingSurface surface;
    SampledCounter triggered = textCounter(5.0, u"percent", 5, 5);
    triggered.triggerOperator = TriggerOperator::Greater;
    triggered.triggerValue = 80.0;
    PlacedMeter meter =
        meterAt(Rect{0, 0, 40, 40}, 40, {textCounter(5.0, u"percent", 5, 5), triggered});
    drawTextMeter(meter, meter.samples, meter.placement, meter.frame, surface,
                  DrawSettings{platform::TaskbarTheme::Dark});
    EXPECT_EQ(linesOf(surface), (std::vector<std::u16string>{u"", u""}));
}

TEST(TextMeter, LinesAreRightAlignedWithinTheMeterWidthInAStackedGroup) {
    RecordingSurface surface;
    // Stacked: the rectangle spans the 200-pixel group, the meter is 40 wide.
    PlacedMeter meter = meterAt(Rect{100, 30, 300, 50}, 40, {textCounter(7.0, u"percent")});
    drawTextMeter(meter, meter.samples, meter.placement, meter.frame, surface,
                  DrawSettings{platform::TaskbarTheme::Dark, false});
    ASSERT_EQ(surface.recorded<DrawString>().size(), 1U);
    EXPECT_EQ(surface.recorded<DrawString>()[0].layout, (RectF{100, 30, 40, 20}));
    EXPECT_EQ(surface.recorded<SetQuality>(),
              (std::vector<SetQuality>{{RenderQuality::TextLegacy}}));
}

TEST(TextMeter, MeterWithoutCountersDrawsNothing) {
    RecordingSurface text;
    PlacedMeter empty = meterAt(Rect{0, 0, 40, 40}, 40, {});
    drawTextMeter(empty, empty.samples, empty.placement, empty.frame, text,
                  DrawSettings{platform::TaskbarTheme::Dark});
    EXPECT_TRUE(text.log.empty());

    RecordingSurface indicator;
    drawIndicatorMeter(empty, empty.samples, empty.placement, empty.frame, indicator,
                       DrawSettings{platform::TaskbarTheme::Dark});
    EXPECT_TRUE(indicator.log.empty());
}

TEST(TextMeter, SlicesWithoutAreaAreNotDrawn) {
    // More lines than pixel rows: 2 / 3 gives slices of height 0.
    RecordingSurface crowded;
    PlacedMeter tooMany = meterAt(
        Rect{0, 0, 40, 2}, 40,
        {textCounter(1.0, u"percent"), textCounter(2.0, u"percent"), textCounter(3.0, u"percent")});
    drawTextMeter(tooMany, tooMany.samples, tooMany.placement, tooMany.frame, crowded,
                  DrawSettings{platform::TaskbarTheme::Dark});
    EXPECT_TRUE(crowded.recorded<CreateFont>().empty());
    EXPECT_TRUE(crowded.recorded<DrawString>().empty());

    // A meter without a width.
    RecordingSurface narrow;
    PlacedMeter noWidth = meterAt(Rect{0, 0, 0, 20}, -1, {textCounter(1.0, u"percent")});
    drawIndicatorMeter(noWidth, noWidth.samples, noWidth.placement, noWidth.frame, narrow,
                       DrawSettings{platform::TaskbarTheme::Dark});
    EXPECT_TRUE(narrow.recorded<DrawString>().empty());
}

TEST(TextMeter, LineWhoseFontCannotBeCreatedIsNotDrawn) {
    RecordingSurface surface;
    surface.fontsAvailable = false;
    PlacedMeter meter = meterAt(Rect{0, 0, 40, 40}, 40,
                                {textCounter(1.0, u"percent"), textCounter(2.0, u"percent")});
    drawTextMeter(meter, meter.samples, meter.placement, meter.frame, surface,
                  DrawSettings{platform::TaskbarTheme::Dark});
    EXPECT_EQ(surface.recorded<CreateFont>().size(), 2U);
    EXPECT_TRUE(surface.recorded<DrawString>().empty());
}

TEST(IndicatorMeter, ShowsItsTextCentredWhileTheTriggerHolds) {
    RecordingSurface surface;
    SampledCounter hot = counterWithValue(90.0, 0, 100, u"#FF0000");
    hot.indicator = u"HOT";
    hot.triggerOperator = TriggerOperator::Greater;
    hot.triggerValue = 80.0;
    SampledCounter calm = hot;
    calm.sample = 50.0;
    SampledCounter untriggered = hot;
    untriggered.triggerOperator = TriggerOperator::None;
    untriggered.triggerValue = 0.0;
    PlacedMeter meter = meterAt(Rect{0, 10, 30, 40}, 30, {hot, calm, untriggered});
    drawIndicatorMeter(meter, meter.samples, meter.placement, meter.frame, surface,
                       DrawSettings{platform::TaskbarTheme::Dark});
    // The value is not scaled: 90 > 80 although the range is 0 to 100.
    EXPECT_EQ(surface.recorded<DrawString>(),
              (std::vector<DrawString>{{u"HOT", u"Arial", 7.0F, 0xFFFF0000, RectF{0, 10, 30, 10},
                                        TextAlignment::Center, TextAlignment::Center},
                                       {u"", u"Arial", 7.0F, 0xFFFF0000, RectF{0, 20, 30, 10},
                                        TextAlignment::Center, TextAlignment::Center},
                                       {u"", u"Arial", 7.0F, 0xFFFF0000, RectF{0, 30, 30, 10},
                                        TextAlignment::Center, TextAlignment::Center}}));
}

}  // namespace
}  // namespace tavisto
