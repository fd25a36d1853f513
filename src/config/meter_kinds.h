#pragma once
// The facts of each meter kind that reading a configuration and sampling need, one
// entry per kind. What a kind draws and says is render's table (render/meter_kinds.h),
// indexed by the same MeterType; adding a kind fails to compile until both have its entry.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tavisto {

// In the order of kMeterKinds; any other type is Unknown and draws nothing.
enum class MeterType : std::uint8_t { Column, Pie, Text, Indicator, Graph, Unknown };

inline constexpr std::size_t kMeterKindCount = static_cast<std::size_t>(MeterType::Unknown);

struct MeterKind {
    MeterType type;
    // The file's "meterType" value.
    std::string_view spelling = {};
    // Its counters keep a history of raw samples, one per pixel along the band, instead
    // of a value held in its range; such counters count against kMaxGraphCounters.
    bool keepsHistory = false;
    // It draws one line of text per counter: without counters it draws nothing.
    bool drawsText = false;
    // Its lines show values in their counters' units: without known units a line stays blank.
    bool showsUnits = false;
};

// One entry per MeterType, in its order, the last for any other type.
inline constexpr std::array<MeterKind, kMeterKindCount + 1> kMeterKinds{{
    {.type = MeterType::Column, .spelling = "column"},
    {.type = MeterType::Pie, .spelling = "pie"},
    {.type = MeterType::Text, .spelling = "text", .drawsText = true, .showsUnits = true},
    {.type = MeterType::Indicator, .spelling = "indicator", .drawsText = true},
    {.type = MeterType::Graph, .spelling = "graph", .keepsHistory = true},
    {.type = MeterType::Unknown},
}};

// Whether a table indexed by MeterType has every kind's entry at its own position: an
// entry left out leaves a default one, of the first type, out of place.
template <typename Table>
constexpr bool inMeterTypeOrder(const Table& table) {
    for (std::size_t index = 0; index < table.size(); ++index) {
        if (static_cast<std::size_t>(table[index].type) != index) {
            return false;
        }
    }
    return table.size() == kMeterKindCount + 1;
}
static_assert(inMeterTypeOrder(kMeterKinds));

constexpr const MeterKind& meterKind(MeterType type) {
    return kMeterKinds[static_cast<std::size_t>(type)];
}

// The spellings of the kinds, in MeterType order: the closed set of "meterType".
inline constexpr std::array<std::string_view, kMeterKindCount> kMeterTypes = [] {
    std::array<std::string_view, kMeterKindCount> spellings{};
    for (std::size_t index = 0; index < kMeterKindCount; ++index) {
        spellings[index] = kMeterKinds[index].spelling;
    }
    return spellings;
}();

}  // namespace tavisto
