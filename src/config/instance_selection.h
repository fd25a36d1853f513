#pragma once
// How the instances of a wildcard counter path are chosen and combined into one value:
// the counter's "instances" object.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
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
inline constexpr std::size_t kMostTopInstances = 10;

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
    // How many of the largest instances or groups the counter lists; 0: none.
    std::uint8_t top = 0;
    // With `top` and no grouping of its own: processes grouped by program.
    bool byProgram = true;
};

}  // namespace tavisto
