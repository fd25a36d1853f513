#pragma once
// How the instances of a wildcard counter path are chosen and combined into one value:
// the counter's "instances" object, and what each reference remembers of the instance
// names it has met so that a name is matched and grouped only when it first appears.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tavisto {

enum class InstanceCombine : std::uint8_t { Sum, Max, Min, Average, Count };

// Bounds on what a configuration may ask of the matching, which runs inside Explorer:
// each new instance name costs at most (name length + 1) x (pattern length + 1) steps
// per pattern, so at most (name length + 1) x 1,088 for all of a counter's patterns.
inline constexpr std::size_t kMaxInstancePatterns = 32;        // per include or exclude list
inline constexpr std::size_t kMaxInstancePatternLength = 256;  // UTF-16 units, also "from"/"to"
inline constexpr std::size_t kMaxInstancePatternCharacters = 1024;  // include and exclude

inline constexpr const char* kTooManyInstancePatterns =
    "an include or exclude list has more than 32 patterns";
inline constexpr const char* kTooManyInstancePatternCharacters =
    "a counter's include and exclude patterns hold more than 1024 characters";
inline constexpr const char* kInstancePatternTooLong =
    "an instance pattern or groupBy text is longer than 256 characters";

struct InstanceSelection {
    // An instance counts when it matches an include pattern and no exclude pattern;
    // totals ("_Total", "0,_Total") never count.
    std::vector<std::u16string> include{u"*"};
    std::vector<std::u16string> exclude;
    // Grouping: an instance's group is the part of its name from the first "from" text
    // (included) to the first "to" text after it (left out, or the name's end).
    bool grouped = false;
    std::u16string groupFrom;
    std::u16string groupTo;
    InstanceCombine groupCombine = InstanceCombine::Sum;
    // Over the instances, or over the groups' values when grouped.
    InstanceCombine combine = InstanceCombine::Sum;
};

// Hashing for lookups by a view of a name, without making a string of it.
struct InstanceNameHash {
    using is_transparent = void;
    std::size_t operator()(std::u16string_view name) const {
        return std::hash<std::u16string_view>{}(name);
    }
};
using InstanceNameIndex =
    std::unordered_map<std::u16string, std::int32_t, InstanceNameHash, std::equal_to<>>;

// The running values of a combination over instances or groups.
struct InstanceTally {
    double sum = 0.0;
    double lowest = 0.0;
    double highest = 0.0;
    std::uint32_t present = 0;  // instances or groups met, with a value or not
    std::uint32_t valued = 0;   // of which gave a value
};

// What one wildcard reference remembers between collections.
struct InstanceMemo {
    static constexpr std::int32_t kLeftOut = -1;
    struct Seen {
        std::u16string name;
        std::int32_t group = kLeftOut;  // 0 for every counted instance when not grouped
        bool known = false;
    };
    // The names of the latest collection, in the platform's order (which stays the
    // same while the instances do), with their groups.
    std::vector<Seen> byPosition;
    // Every name met since the last reset, and every group key, with the group.
    InstanceNameIndex groupOfName;
    InstanceNameIndex groupOfKey;
    std::vector<InstanceTally> groups;
};

}  // namespace tavisto
