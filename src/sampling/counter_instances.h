#pragma once
// Reading a wildcard counter's instances as one value, and what each reference remembers
// of the instance names it has met so that a name is matched and grouped only when it
// first appears.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "config/counter_references.h"
#include "config/instance_selection.h"
#include "core/wildcard_match.h"
#include "platform/platform.h"

namespace tavisto {

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
        // The name as `groupOfName` keeps it: its entries stay where they are until the
        // whole memo is let go.
        const std::u16string* name = nullptr;
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
    // By group: its key, and for a group of one process (pid_1234) the name of its
    // program once asked, forgotten at a collection without the process.
    std::vector<std::u16string> groupKeys;
    std::vector<std::optional<std::u16string>> programNames;
};

// One of a counter's largest instances or groups: its name as shown, and its value.
struct RankedInstance {
    std::u16string name;
    double value = 0.0;
};

// A counter's largest instances, largest first and equal values by name. `ranked` is
// sized once for the counter's "top"; the entries past `count` keep their storage, so
// that ranking and copying the list allocate only for a longer name than before.
struct TopInstances {
    std::vector<RankedInstance> ranked;
    std::size_t count = 0;
    std::span<const RankedInstance> listed() const { return {ranked.data(), count}; }
};

// A counter's "instances" object with its patterns compiled, owned by whoever reads the
// counter: it does not point into the model, which a reload replaces.
struct CompiledSelection {
    // `path` is the counter path read: with "top" it says whether its instances are
    // processes, grouped by program.
    explicit CompiledSelection(const InstanceSelection& selection, std::u16string_view path = {});
    InstanceSelection selection;
    // How instances group: by the selection's texts, by program, or not at all.
    enum class Grouping : std::uint8_t { None, ByText, ByProgram };
    Grouping grouping = Grouping::None;
    bool processes = false;  // instances of \Process
    std::vector<WildcardPattern> include;
    std::vector<WildcardPattern> exclude;
};

// How many matching steps classifying new instance names may take in one tick, over
// every counter that reads instances then: a collection with thousands of new long names
// is classified over several ticks, never in one long one.
inline constexpr std::size_t kClassificationStepsPerTick = 2'000'000;

// Whether the instance is a total of other instances: "_Total", or a group total such
// as "0,_Total" (one processor group of "\Processor Information").
bool isTotalInstance(std::u16string_view name);

// What a wildcard counter reads: the sum of the valid values of its instances, totals
// left out so that nothing is counted twice. No such instance reads as a failed read.
double sumInstances(std::span<const platform::CounterInstance> instances);

// What a wildcard counter with an "instances" object reads: its chosen instances, or
// the values of their groups, combined as it says. A name is matched and grouped when
// it is first met and remembered in `memo`; while the names stay, a call allocates
// nothing. Instances without a value take part only in a count; with no value to
// combine the counter reads `withoutValue`, a failed read unless said. Classifying new
// names takes from `stepsLeft`; once it is spent, the names still new wait for the next
// call and there is no value yet.
std::optional<double> combineInstances(std::span<const platform::CounterInstance> instances,
                                       const CompiledSelection& compiled, InstanceMemo& memo,
                                       std::size_t& stepsLeft,
                                       double withoutValue = platform::kFailedCounterRead);

// After combineInstances has read a collection: the `top.ranked.size()` largest of its
// counted instances, or of its groups when grouped, into `top`. A group of one process
// (pid_1234, when grouped by program) is named by its program, asked of `names` once
// while the process lasts, or "pid 1234" when it cannot be read.
void rankInstances(std::span<const platform::CounterInstance> instances,
                   const CompiledSelection& compiled, InstanceMemo& memo,
                   platform::Sensors& names, TopInstances& top);

}  // namespace tavisto
