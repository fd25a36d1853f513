#pragma once
// The meter model built from a configuration document: groups of meters, meters
// of counters, counters of references to the measured quantities.

#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/instance_selection.h"
#include "config/sample_history.h"
#include "expression/expression_evaluator.h"
#include "platform/geometry.h"
#include "platform/platform.h"

namespace tavisto {

// One parenthesised quantity of a counter expression.
struct CounterReference {
    enum Kind : std::int32_t { PerformanceCounter = 0, PerformanceField = 1 };

    std::int32_t kind = PerformanceCounter;
    // Without the parentheses: an English counter path or "PERFORMANCE_INFORMATION.<field>".
    std::u16string path;
    platform::CounterHandle counterHandle = 0;
    // Latest sample; 0 until the first tick of the counter's rate.
    double value = 0.0;
    // The sample the meter was last drawn with.
    double drawnValue = 0.0;
    // A wildcard reference of a counter with "instances": the names met so far.
    InstanceMemo instanceMemo{};
};

// Keyed by the one-character variable name that replaced the reference in the text.
using ReferenceMap = std::map<std::string, CounterReference>;

struct MeterCounter {
    std::u16string counterPath;  // the expression with references replaced by names
    std::u16string color;
    std::u16string units;
    double triggerValue = 0.0;
    double minValue = -std::numeric_limits<double>::infinity();
    double maxValue = std::numeric_limits<double>::infinity();
    bool dynamicMinValue = false;
    bool dynamicMaxValue = false;
    std::u16string triggerOperator;
    std::u16string indicator;
    std::u16string font;
    std::int32_t fontSize = 7;
    std::string expressionText;  // counterPath in UTF-8, for the evaluator
    ReferenceMap references;
    // How its wildcard references choose and combine instances; absent: they sum them all.
    std::optional<InstanceSelection> instances;
    // The expression of a counter with several references, compiled at its first value.
    mutable KeptExpression compiled;
    // "graph" meters: the values of the last ticks, one per pixel column.
    SampleHistory history;
    // "text" and "indicator" meters: the line last drawn for this counter.
    std::u16string drawnLine;
    // "column" and "pie" meters: the bar's pixels or the sector's whole degrees last
    // drawn for this counter.
    std::int64_t drawnExtent = 0;
};

// The value range a graph drew one counter with.
struct GraphRange {
    double bottom = 0.0;
    double top = 0.0;
    bool operator==(const GraphRange&) const = default;
};

// What a "graph" meter last drew into the back buffer. A tick may shift those pixels
// and draw only the newest sample while nothing else about the picture changed.
struct GraphPixels {
    bool valid = false;
    Rect rect;
    bool horizontalBand = true;
    platform::TaskbarTheme theme = platform::TaskbarTheme::Dark;
    std::vector<GraphRange> ranges;  // one per counter
};

struct Meter;

// What a meter's pixels in the back buffer show, so that a tick that sampled the
// values already shown need not draw it again.
struct DrawnState {
    // The pixels show the references' `drawnValue`s in `theme`.
    bool current = false;
    platform::TaskbarTheme theme = platform::TaskbarTheme::Dark;
    // Meters later in the same rate's order whose drawn areas meet this one's. When this
    // meter draws, they draw after it, as they did when every meter drew at every tick,
    // so that the pixels they share end as before.
    std::vector<Meter*> laterNeighbours;
    bool neighbourDrew = false;
};

struct Meter {
    std::vector<MeterCounter> counters;
    std::u16string meterType;
    std::u16string color;
    std::u16string style;        // "graph" meters: "area" or "line"
    std::u16string orientation;  // copied from the group by layout
    double barLength = 0.0;
    std::int32_t width = -1;
    std::int32_t height = -1;
    std::uint64_t refreshRate = 0;
    Rect rect;
    bool sideBySide = true;
    bool windows10OrLater = false;
    GraphPixels graphPixels;
    DrawnState drawn;
};

struct MeterGroup {
    std::int32_t width = -1;
    std::int32_t height = -1;
    std::int32_t minWidth = -1;
    std::int32_t minHeight = -1;
    std::int32_t maxWidth = -1;
    std::int32_t maxHeight = -1;
    std::u16string name;
    std::u16string orientation;
    std::vector<Meter*> meters;  // owned by the panel's rate schedule
    Rect rect;
    std::unique_ptr<platform::GroupTooltip> tooltip;
};

// Meters by refresh rate in milliseconds, each list in configuration order. Owns the meters.
using MetersByRate = std::map<std::uint64_t, std::vector<std::unique_ptr<Meter>>>;

// What a load builds: the panel-level sizes, the groups and the sampling schedule.
struct PanelModel {
    std::int32_t horizontalPadding = 0;
    std::int32_t verticalPadding = 0;
    std::int32_t horizontalSpacing = 0;
    std::int32_t verticalSpacing = 0;
    MetersByRate metersByRate;
    std::vector<std::unique_ptr<MeterGroup>> groups;
};

}  // namespace tavisto
