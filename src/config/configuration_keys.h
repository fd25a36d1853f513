#pragma once
// Every key of the configuration file: where it may appear, what kind of value it takes,
// its default and what it means. The checker reports keys missing from this table, the
// schema is generated from it, and a test holds the loader to it.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>

#include "config/instance_selection.h"
#include "config/meter_kinds.h"

namespace tavisto {

// The object a key is a member of.
enum class KeyLevel { Panel, Group, Meter, Counter, Taskbar, Instances, GroupBy, Alert };

enum class ValueKind {
    Pixels,        // a number made a 32-bit whole number, then scaled by the DPI
    Number,        // any number
    Milliseconds,  // a number made an unsigned 64-bit whole number
    Boolean,
    String,
    Colour,    // "#RRGGBB", or "auto" to follow the taskbar theme
    Trigger,   // an operator, one space and a threshold
    List,      // an array, an object whose members are taken by name, or null
    Counters,  // an array or null
    Object,
    Patterns,  // a wildcard pattern, or an array of them
};

// The numbers a number key takes where its reader takes fewer than its kind allows. Any
// other number is made the nearest one taken (a fraction cut toward zero, a value beyond
// an end made that end), and the checker says so.
struct NumberRange {
    double minimum = -std::numeric_limits<double>::infinity();
    double maximum = std::numeric_limits<double>::infinity();
    bool wholeNumbers = false;

    constexpr bool limited() const {
        return wholeNumbers || minimum > -std::numeric_limits<double>::infinity() ||
               maximum < std::numeric_limits<double>::infinity();
    }
};

struct ConfigurationKey {
    KeyLevel level;
    std::string_view name;
    ValueKind kind;
    // The default as JSON text; empty when it is not a single value (it depends on others).
    std::string_view defaultJson;
    std::string_view description;
    // The values that mean something, for a key whose other values are ignored or
    // mean "none of these"; empty for an open set.
    std::span<const std::string_view> values = {};
    // False for keys only other programs read: the band ignores them, whatever their type.
    bool readByBand = true;
    // For a number key read by fewer rules than its kind's; open for every other key.
    NumberRange range = {};
};

inline constexpr auto kGraphStyles = std::to_array<std::string_view>({"area", "line"});
inline constexpr auto kOrientations = std::to_array<std::string_view>({"horizontal"});
inline constexpr auto kCounterUnits = std::to_array<std::string_view>(
    {"bytes/second", "percent", "bits/second", "bytes", "count", "celsius", "watts", "rpm",
     "hertz", "seconds"});
inline constexpr auto kTriggerOperators =
    std::to_array<std::string_view>({">", ">=", "<", "<=", "="});
// The longest an alert waits for its value to stay past the threshold: a day.
inline constexpr std::uint64_t kLongestAlertHold = 86'400'000;

// In the order of GroupClick.
inline constexpr auto kGroupClicks = std::to_array<std::string_view>(
    {"taskManager", "resourceMonitor", "showValues", "settings", "none"});
inline constexpr auto kTaskbarMonitors = std::to_array<std::string_view>({"primary", "all"});
inline constexpr auto kTaskbarPositions = std::to_array<std::string_view>({"right", "left"});
// In the order of InstanceCombine.
inline constexpr auto kInstanceCombines =
    std::to_array<std::string_view>({"sum", "max", "min", "average", "count"});

// The enumerator a text of a closed set names: its position among the spellings, or
// the enumerator after the last spelling when it names none. The one way a program
// reads a closed set; each enumeration lists its spellings' order.
template <typename Enumeration>
Enumeration closedSetValue(std::u16string_view text, std::span<const std::string_view> spellings) {
    for (std::size_t index = 0; index < spellings.size(); ++index) {
        const std::string_view spelling = spellings[index];
        if (text.size() == spelling.size() &&
            std::equal(text.begin(), text.end(), spelling.begin(), [](char16_t unit, char letter) {
                return unit == static_cast<unsigned char>(letter);
            })) {
            return static_cast<Enumeration>(index);
        }
    }
    return static_cast<Enumeration>(spellings.size());
}

// The same for a UTF-8 text.
template <typename Enumeration>
constexpr Enumeration closedSetValue(std::string_view text,
                                     std::span<const std::string_view> spellings) {
    return static_cast<Enumeration>(std::find(spellings.begin(), spellings.end(), text) -
                                    spellings.begin());
}

// clang-format off
inline constexpr auto kConfigurationKeys = std::to_array<ConfigurationKey>({
    {KeyLevel::Panel, "$schema", ValueKind::String, "",
     "The JSON Schema that editors use for completion and validation; the band ignores it.",
     {}, false},
    {KeyLevel::Panel, "horizontalPadding", ValueKind::Pixels, "0",
     "Horizontal inset of the groups, in 96-DPI pixels; counted twice in the band's length."},
    {KeyLevel::Panel, "verticalPadding", ValueKind::Pixels, "0",
     "Vertical inset of the groups, in 96-DPI pixels."},
    {KeyLevel::Panel, "horizontalSpacing", ValueKind::Pixels, "0",
     "Gap after each group on a horizontal taskbar, in 96-DPI pixels."},
    {KeyLevel::Panel, "verticalSpacing", ValueKind::Pixels, "0",
     "Gap after each group on a vertical taskbar, in 96-DPI pixels."},
    {KeyLevel::Panel, "meterGroups", ValueKind::List, "[]",
     "The meter groups, in the order they are laid out: an array, or an object whose members "
     "are taken in ascending order of their names."},
    {KeyLevel::Panel, "taskbar", ValueKind::Object, "{}",
     "Where Tavisto.exe places the meters inside a taskbar that hosts no desk band; the band "
     "ignores it.",
     {}, false},
    {KeyLevel::Panel, "hotkey", ValueKind::String, "\"\"",
     "A key combination such as \"Ctrl+Alt+M\" that opens Tavisto.exe's Show values window "
     "from anywhere: modifiers (Ctrl, Alt, Shift, Win) and a letter, a digit or F1 to F24, "
     "joined by +, with at least one of Ctrl, Alt or Win; empty: none. A shortcut that "
     "programs or Windows use (Ctrl+C, Alt+F4, Win+L and the like) would stop working "
     "everywhere else. The band ignores it.",
     {}, false},
    {KeyLevel::Panel, "language", ValueKind::String, "\"\"",
     "The language of Tavisto's words, as a tag such as \"de\", \"pt-BR\" or \"ja\": the "
     "settings window, the Show values window, tooltips, what screen readers say and "
     "notifications. Empty: the user's Windows display language, else English."},

    {KeyLevel::Taskbar, "monitors", ValueKind::String, "\"primary\"",
     "\"primary\": the main taskbar only; \"all\": every taskbar.", kTaskbarMonitors, false},
    {KeyLevel::Taskbar, "position", ValueKind::String, "\"right\"",
     "\"right\": next to the notification area; \"left\": the left end of the taskbar.",
     kTaskbarPositions, false},
    // A larger offset would put the meters off any screen.
    {KeyLevel::Taskbar, "offset", ValueKind::Pixels, "0",
     "Distance from that edge, in 96-DPI pixels.", {}, false, {0, 10000, true}},
    {KeyLevel::Taskbar, "clickThrough", ValueKind::Boolean, "false",
     "true: every click goes through the meters to the taskbar under them; Tavisto's menu is "
     "then reached from its Start menu shortcut.",
     {}, false},

    {KeyLevel::Group, "enabled", ValueKind::Boolean, "true",
     "false: the group and its meters are skipped entirely."},
    {KeyLevel::Group, "meters", ValueKind::List, "[]",
     "The group's meters, in the order they are arranged: an array, or an object whose members "
     "are taken in ascending order of their names."},
    {KeyLevel::Group, "width", ValueKind::Pixels, "-1",
     "The group's width in 96-DPI pixels; -1: the sum of its meters' widths."},
    {KeyLevel::Group, "height", ValueKind::Pixels, "-1",
     "The group's height in 96-DPI pixels; -1: automatic, up to maxHeight."},
    {KeyLevel::Group, "minWidth", ValueKind::Pixels, "-1",
     "Least thickness a vertical taskbar gives a horizontal group; -1: none."},
    {KeyLevel::Group, "minHeight", ValueKind::Pixels, "-1",
     "Least thickness the taskbar gives the group otherwise; -1: none."},
    {KeyLevel::Group, "maxWidth", ValueKind::Pixels, "",
     "Kept for compatibility; defaults to width, or 300."},
    {KeyLevel::Group, "maxHeight", ValueKind::Pixels, "",
     "Upper bound of an automatic group height, in 96-DPI pixels; defaults to height, or 40."},
    {KeyLevel::Group, "name", ValueKind::String, "\"\"",
     "The group's name: its tooltip's first line, above what its meters show, and what "
     "screen readers and Show values call it; empty: the tooltip shows the values alone, and "
     "the group is called by its place (\"Group 2\")."},
    {KeyLevel::Group, "orientation", ValueKind::String, "\"\"",
     "\"horizontal\": meters side by side; anything else: stacked top to bottom.",
     kOrientations},
    {KeyLevel::Group, "click", ValueKind::String, "\"taskManager\"",
     "What a left click on the group's meters does: \"taskManager\" opens Task Manager, "
     "\"resourceMonitor\" Resource Monitor, \"showValues\" Tavisto.exe's Show values window, "
     "\"settings\" its settings window, and \"none\" nothing; any other value opens Task "
     "Manager.",
     kGroupClicks},

    {KeyLevel::Meter, "meterType", ValueKind::String, "\"text\"",
     "How the counters are drawn: \"column\", \"pie\", \"text\", \"indicator\" or "
     "\"graph\" (a history of the last samples, one per pixel); any other type draws nothing.",
     kMeterTypes},
    {KeyLevel::Meter, "style", ValueKind::String, "\"area\"",
     "How a graph draws each counter: \"area\", filled from the baseline, or \"line\".",
     kGraphStyles},
    {KeyLevel::Meter, "combineFunction", ValueKind::String, "\"\"",
     "Accepted for compatibility; it has no effect."},
    {KeyLevel::Meter, "units", ValueKind::String, "\"\"",
     "Accepted for compatibility; it has no effect (units are set per counter)."},
    {KeyLevel::Meter, "color", ValueKind::Colour, "\"#FFFFFF\"",
     "Outline colour of column, pie and graph meters, \"#RRGGBB\", or \"auto\": white on a "
     "dark taskbar, black on a light one."},
    {KeyLevel::Meter, "width", ValueKind::Pixels, "-1",
     "The meter's extent along its group, in 96-DPI pixels."},
    {KeyLevel::Meter, "height", ValueKind::Pixels, "-1",
     "The meter's height, used only for the band's least thickness."},
    {KeyLevel::Meter, "refreshRate", ValueKind::Milliseconds, "0",
     "Sampling period in milliseconds; meters with the same period are sampled together."},
    {KeyLevel::Meter, "counters", ValueKind::Counters, "[]",
     "The meter's counters, in drawing order."},

    {KeyLevel::Counter, "counterPath", ValueKind::String,
     "\"\\\\Processor(_Total)\\\\% processor time\"",
     "The counter expression: arithmetic over references in parentheses, either English "
     "counter paths such as (\\Processor(_Total)\\% Processor Time) or system fields such as "
     "(PERFORMANCE_INFORMATION.PhysicalAvailable), (ADAPTER_PERFDATA.Temperature) and "
     "(SYSTEM_POWER_STATUS.BatteryLifePercent). A sensor the machine does not report reads as "
     "not available, shown as \u2014."},
    {KeyLevel::Counter, "color", ValueKind::Colour, "\"#FFFFFF\"",
     "Fill colour (column, pie, graph) or text colour (text, indicator), \"#RRGGBB\", or "
     "\"auto\": white on a dark taskbar, black on a light one."},
    {KeyLevel::Counter, "name", ValueKind::String, "\"\"",
     "What the value is, such as \"CPU\" or \"Download\": said and shown with it in tooltips, "
     "Show values and screen readers (\"CPU 3%\"); empty: the value alone."},
    {KeyLevel::Counter, "units", ValueKind::String, "\"\"",
     "How text meters, tooltips and screen readers say the value: \"percent\" (of the range), "
     "\"bytes/second\" (B/s, KB/s... in steps of 1000), \"bits/second\" (bps, Kbps, Mbps, "
     "Gbps in steps of 1000, as Task Manager's network page), \"bytes\" (KB, MB, GB, TB in "
     "steps of 1024, as its memory page), \"count\" (1,234; 12.3K from 10,000 on), "
     "\"celsius\", \"watts\", \"rpm\", \"hertz\" (Hz, kHz, MHz, GHz) or \"seconds\" "
     "(1 h 23 min); with any other units the text line stays blank.",
     kCounterUnits},
    {KeyLevel::Counter, "decimals", ValueKind::Number, "",
     "Digits after the point, 0 to 3. Without it: one below 100 for rates, sizes and "
     "frequencies, none for the rest, and whole numbers for \"percent\" and "
     "\"bytes/second\".",
     {}, true, {0, 3, true}},
    {KeyLevel::Counter, "indicator", ValueKind::String, "\"\"",
     "The text an indicator meter shows while the trigger holds."},
    {KeyLevel::Counter, "font", ValueKind::String, "\"Arial\"", "Font family of text meters."},
    {KeyLevel::Counter, "fontSize", ValueKind::Pixels, "7", "Font size in 96-DPI pixels."},
    {KeyLevel::Counter, "minValue", ValueKind::Number, "",
     "Lower end of the value range; none by default."},
    {KeyLevel::Counter, "maxValue", ValueKind::Number, "",
     "Upper end of the value range; none by default."},
    {KeyLevel::Counter, "dynamicMinValue", ValueKind::Boolean, "false",
     "true: a value below minValue lowers it instead of being clamped."},
    {KeyLevel::Counter, "dynamicMaxValue", ValueKind::Boolean, "false",
     "true: a value above maxValue raises it instead of being clamped."},
    {KeyLevel::Counter, "trigger", ValueKind::Trigger, "\"\"",
     "A condition on the value, an operator (>, >=, <, <=, =), one space and a number, as in "
     "\"> 90\": text meters show 0 while it does not hold, indicator meters show their text "
     "while it holds."},
    {KeyLevel::Counter, "instances", ValueKind::Object, "{}",
     "For counter paths with a wildcard instance, such as (\\GPU Engine(*)\\Utilization "
     "Percentage): which instances count and how they combine; by default every instance but "
     "the totals, summed."},

    {KeyLevel::Counter, "alert", ValueKind::Object, "null",
     "Raises an alert when the value, as the meter shows it, passes a threshold and stays "
     "past it: the counter then draws in the alert's colour, its tooltip and spoken value say "
     "so, and it may show a notification."},

    {KeyLevel::Instances, "include", ValueKind::Patterns, "[\"*\"]",
     "The instances that count: a pattern or a list of them, where * stands for any text and ? "
     "for one character, whatever the case (\"chrome\", \"chrome#*\"). _Total never counts."},
    {KeyLevel::Instances, "exclude", ValueKind::Patterns, "[]",
     "Instances left out although included: a pattern or a list of them (\"*Hyper-V*\")."},
    {KeyLevel::Instances, "groupBy", ValueKind::Object, "null",
     "Groups instances by a part of their name, from the text \"from\" to the text \"to\": "
     "each group is combined by groupCombine, then the groups by combine."},
    {KeyLevel::Instances, "groupCombine", ValueKind::String, "\"sum\"",
     "How the instances of one group combine: \"sum\", \"max\", \"min\", \"average\" or "
     "\"count\".",
     kInstanceCombines},
    {KeyLevel::Instances, "combine", ValueKind::String, "\"sum\"",
     "How the instances, or the groups' values, combine into the counter's value: \"sum\", "
     "\"max\", \"min\", \"average\" or \"count\" (how many there are).",
     kInstanceCombines},
    {KeyLevel::Instances, "top", ValueKind::Number, "",
     "Lists the counter's N largest instances, 1 to 10, after include, exclude and grouping, "
     "largest first and equal values by name: a text meter draws one line per instance, "
     "\"name value\", and every meter's tooltip and spoken value name them. Without it the "
     "counter shows one combined value.",
     {}, true, {1, double{kMostTopInstances}, true}},
    {KeyLevel::Instances, "byProgram", ValueKind::Boolean, "true",
     "With \"top\" and no \"groupBy\": instances of \\Process are grouped by program "
     "(chrome, chrome#1 and chrome#2 are one chrome) and \"Idle\" is left out, and instances "
     "named pid_1234_... (\\GPU Engine) are grouped by process and named by its program; "
     "false lists every instance by its own name."},

    {KeyLevel::Alert, "above", ValueKind::Number, "",
     "Raises the alert while the value is above this number; give \"above\" or "
     "\"below\", not both. A percentage is compared as the text shows it (90 for 90%)."},
    {KeyLevel::Alert, "below", ValueKind::Number, "",
     "Raises the alert while the value is below this number."},
    {KeyLevel::Alert, "for", ValueKind::Number, "0",
     "How long, in milliseconds, the value must stay past the threshold before the alert is "
     "raised, up to a day (86400000); a value that is not available starts the wait again.",
     {}, true, {0, double{kLongestAlertHold}, true}},
    {KeyLevel::Alert, "clear", ValueKind::Number, "",
     "Where a raised alert clears: at or below this number for \"above\", at or above it "
     "for \"below\"; by default the threshold itself. A value that is not available never "
     "clears it."},
    {KeyLevel::Alert, "color", ValueKind::Colour, "\"#FF4040\"",
     "The counter's colour while the alert is raised: its column, sector, text or newest "
     "graph samples."},
    {KeyLevel::Alert, "notify", ValueKind::Boolean, "false",
     "true: a notification tells of the alert when it is raised, at most once in five "
     "minutes, and not again before it has cleared."},

    {KeyLevel::GroupBy, "from", ValueKind::String, "\"\"",
     "Where the group's part of an instance name starts: the first occurrence of this text, "
     "whatever the case, or the name's start when empty. A name without it is a group of its "
     "own."},
    {KeyLevel::GroupBy, "to", ValueKind::String, "\"\"",
     "Where the group's part ends: before the first occurrence of this text after \"from\", "
     "or at the name's end."},
});
// clang-format on

// The level of the members of an Object key.
constexpr KeyLevel objectLevel(const ConfigurationKey& key) {
    if (key.level == KeyLevel::Counter) {
        return key.name == "alert" ? KeyLevel::Alert : KeyLevel::Instances;
    }
    return key.level == KeyLevel::Instances ? KeyLevel::GroupBy : KeyLevel::Taskbar;
}

// The entry for a key at a level, or null for a key that level does not have.
constexpr const ConfigurationKey* findConfigurationKey(KeyLevel level, std::string_view name) {
    for (const ConfigurationKey& key : kConfigurationKeys) {
        if (key.level == level && key.name == name) {
            return &key;
        }
    }
    return nullptr;
}

// The entry for a key a reader names, found while compiling: a name the table lacks does
// not build.
consteval const ConfigurationKey& configurationKey(KeyLevel level, std::string_view name) {
    const ConfigurationKey* key = findConfigurationKey(level, name);
    if (key == nullptr) {
        throw "a key the table does not have";
    }
    return *key;
}

// The defaults as the readers take them. Each reads the forms the table writes for its
// kind, and the check after them holds every default to those forms.

// A whole number, such as "-1".
constexpr std::int64_t defaultInteger(const ConfigurationKey& key) {
    const std::string_view text = key.defaultJson;
    const bool negative = text.starts_with('-');
    std::int64_t magnitude = 0;
    for (const char digit : text.substr(negative ? 1 : 0)) {
        magnitude = magnitude * 10 + (digit - '0');
    }
    return negative ? -magnitude : magnitude;
}

constexpr bool defaultBoolean(const ConfigurationKey& key) {
    return key.defaultJson == "true";
}

// A string's characters between its quotes, escapes and all.
constexpr std::string_view defaultStringJson(const ConfigurationKey& key) {
    return key.defaultJson.substr(1, key.defaultJson.size() - 2);
}

// A string, its escapes (only \\ and \") undone.
inline std::u16string defaultString(const ConfigurationKey& key) {
    std::u16string text;
    const std::string_view escaped = defaultStringJson(key);
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] == '\\') {
            ++i;
        }
        text.push_back(static_cast<unsigned char>(escaped[i]));
    }
    return text;
}

// The enumerator a closed-set key's default names.
template <typename Enumeration>
constexpr Enumeration defaultChoice(const ConfigurationKey& key) {
    return closedSetValue<Enumeration>(defaultStringJson(key), key.values);
}

static_assert([] {
    const auto wholeNumber = [](std::string_view text) {
        text.remove_prefix(text.starts_with('-') ? 1 : 0);
        return !text.empty() && text.size() < 10 &&
               std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    const auto plainString = [](std::string_view text) {
        if (text.size() < 2 || !text.starts_with('"') || !text.ends_with('"')) {
            return false;
        }
        text = text.substr(1, text.size() - 2);
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '"' || static_cast<unsigned char>(text[i]) >= 0x80 ||
                (text[i] == '\\' && (++i == text.size() || (text[i] != '\\' && text[i] != '"')))) {
                return false;
            }
        }
        return true;
    };
    for (const ConfigurationKey& key : kConfigurationKeys) {
        if (key.defaultJson.empty()) {
            continue;
        }
        switch (key.kind) {
            case ValueKind::Pixels:
            case ValueKind::Milliseconds:
                if (!wholeNumber(key.defaultJson)) {
                    return false;
                }
                break;
            case ValueKind::Boolean:
                if (key.defaultJson != "true" && key.defaultJson != "false") {
                    return false;
                }
                break;
            case ValueKind::String:
            case ValueKind::Colour:
            case ValueKind::Trigger:
                if (!plainString(key.defaultJson)) {
                    return false;
                }
                break;
            default:
                break;
        }
    }
    return true;
}());

}  // namespace tavisto
