#pragma once
// The meter model built from a configuration document: groups of meters, meters
// of counters, counters of references to the measured quantities. Closed sets of
// the file (meter type, graph style, units, orientation, trigger operator) and
// colours are read once, by the loader; a value outside a closed set is its own
// enumerator and draws as the file format says for it. Where layout places a meter and
// what the screen shows of it are kept by render, and what was sampled by the sampler,
// beside the model, under the meter's index in `PanelModel::meters`. Nothing changes the
// model once loaded.

#include <array>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/configuration_keys.h"
#include "config/instance_selection.h"
#include "config/meter_kinds.h"
#include "core/texts.h"
#include "platform/platform.h"

namespace tavisto {

// In the order of kGraphStyles; any other style draws as an area.
enum class GraphStyle : std::uint8_t { Area, Line, Unknown };
// In the order of kCounterUnits; with any other units a text line stays blank.
enum class CounterUnits : std::uint8_t {
    BytesPerSecond,
    Percent,
    BitsPerSecond,
    Bytes,
    Count,
    Celsius,
    Watts,
    Rpm,
    Hertz,
    Seconds,
    Unknown
};
// A counter without "decimals": each unit's own rule.
inline constexpr std::int8_t kUnitDecimals = -1;
// In the order of kOrientations; anything else stacks the meters.
enum class GroupOrientation : std::uint8_t { Horizontal, Unknown };
// In the order of kGroupClicks; any other value opens Task Manager, as the default does.
enum class GroupClick : std::uint8_t {
    TaskManager,
    ResourceMonitor,
    ShowValues,
    Settings,
    None,
    Unknown
};
// In the order of kTriggerOperators; an operator outside the set never holds. `None`
// is the empty trigger.
enum class TriggerOperator : std::uint8_t {
    Greater,
    GreaterOrEqual,
    Less,
    LessOrEqual,
    Equal,
    Unknown,
    None
};

// A configured colour: "#RRGGBB" read once, or "auto", which follows the taskbar theme.
struct Colour {
    bool followsTheme = false;
    Argb argb = 0xFFFFFFFF;

    // White on a dark taskbar and black on a light one for "auto".
    Argb on(platform::TaskbarTheme theme) const {
        if (!followsTheme) {
            return argb;
        }
        return theme == platform::TaskbarTheme::Light ? 0xFF000000U : 0xFFFFFFFFU;
    }
    bool operator==(const Colour&) const = default;
};

// Drops the first character (normally "#") and reads the rest as a hexadecimal number
// the way scanf's "%x" does: leading white space, an optional sign and an optional
// "0x" prefix are accepted and reading stops at the first non-digit. Only the low 24
// bits are kept and the colour is always opaque. An empty text, or one with no digits
// after its first character, is white. The text "auto" follows the theme.
Colour parseColour(std::u16string_view text);
// The same reading, with nothing for a text that names no colour and is drawn white.
std::optional<Colour> readColour(std::u16string_view text);

// One parenthesised quantity of a counter expression.
struct CounterReference {
    enum Kind : std::int32_t { PerformanceCounter = 0, PerformanceField = 1, SensorField = 2 };

    std::int32_t kind = PerformanceCounter;
    // Without the parentheses: an English counter path, "PERFORMANCE_INFORMATION.<field>",
    // "SYSTEM_INFO.<field>", "ADAPTER_PERFDATA.<field>" or "SYSTEM_POWER_STATUS.<field>".
    std::u16string path;
};

// Keyed by the one-character variable name that replaced the reference in the text.
using ReferenceMap = std::map<std::string, CounterReference>;

// The load's refusal of an alert that names two thresholds.
inline constexpr char kAlertAboveAndBelow[] = "an alert has both \"above\" and \"below\"";

// A counter's alert: raised once its value has stayed past the threshold for the hold
// time, cleared when it comes back to the clearing value.
struct CounterAlert {
    // Raised above the threshold; otherwise below it.
    bool above = true;
    double threshold = 0.0;
    // Clears at or below this (above), at or above it (below): never past the threshold.
    double clear = 0.0;
    std::uint64_t holdMilliseconds = 0;
    Colour color{false, 0xFFFF4040};
    bool notify = false;

    // Whether the value is past the threshold; NaN never is.
    bool passes(double value) const { return above ? value > threshold : value < threshold; }
    // Whether a raised alert clears at the value; NaN never clears it.
    bool clearsAt(double value) const { return above ? value <= clear : value >= clear; }
    bool operator==(const CounterAlert&) const = default;
};

struct MeterCounter {
    std::u16string counterPath;  // the expression with references replaced by names
    Colour color;
    CounterUnits units = CounterUnits::Unknown;
    // Digits after the point, 0 to 3, or kUnitDecimals.
    std::int8_t decimals = kUnitDecimals;
    // Said and shown with the value ("CPU 3%"); empty: the value alone.
    std::u16string name;
    double triggerValue = 0.0;
    // As configured: what sampling moves of a dynamic bound is kept with the samples.
    double minValue = -std::numeric_limits<double>::infinity();
    double maxValue = std::numeric_limits<double>::infinity();
    bool dynamicMinValue = false;
    bool dynamicMaxValue = false;
    TriggerOperator triggerOperator = TriggerOperator::None;
    std::u16string indicator;
    std::u16string font;
    std::int32_t fontSize = 7;
    std::string expressionText;  // counterPath in UTF-8, for the evaluator
    ReferenceMap references;
    // How its wildcard references choose and combine instances; absent: they sum them all.
    std::optional<InstanceSelection> instances;
    std::optional<CounterAlert> alert;
};

struct Meter {
    std::vector<MeterCounter> counters;
    MeterType meterType = MeterType::Text;
    Colour color;
    GraphStyle style = GraphStyle::Area;
    std::int32_t width = -1;
    std::int32_t height = -1;
    std::uint64_t refreshRate = 0;
};

struct MeterGroup {
    std::int32_t width = -1;
    std::int32_t height = -1;
    std::int32_t minWidth = -1;
    std::int32_t minHeight = -1;
    std::int32_t maxWidth = -1;
    std::int32_t maxHeight = -1;
    std::u16string name;
    GroupOrientation orientation = GroupOrientation::Unknown;
    // What a left click on its meters does.
    GroupClick click = GroupClick::TaskManager;
    std::vector<std::size_t> meters;  // indices into PanelModel::meters, in order
};

// What a load builds: the panel-level sizes, the meters, the groups and the sampling
// schedule. A meter's index, its position among all the file's meters group by group,
// is the key under which layout, drawing and sampling keep what they know of it.
struct PanelModel {
    std::int32_t horizontalPadding = 0;
    std::int32_t verticalPadding = 0;
    std::int32_t horizontalSpacing = 0;
    std::int32_t verticalSpacing = 0;
    // The configuration's "language"; empty: the user's display language.
    std::string language;
    // The language of the meters' words: chosen by the engine when it loads the model.
    const TextTable* texts = &englishTexts();
    std::vector<Meter> meters;
    std::vector<MeterGroup> groups;
    // The indices of the meters of each refresh rate in milliseconds, in configuration order.
    std::map<std::uint64_t, std::vector<std::size_t>> rates;
};

}  // namespace tavisto
