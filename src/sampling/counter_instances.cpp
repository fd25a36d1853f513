#include "sampling/counter_instances.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#include "core/wildcard_match.h"

namespace tavisto {
namespace {

// Names remembered beyond this many times the instances of a collection are let go, so
// that instances that come and go for ever (processes) do not grow the memo for ever.
constexpr std::size_t kRememberedNamesPerInstance = 4;
constexpr std::size_t kLeastRememberedNames = 256;

void add(InstanceTally& tally, double value, bool valued) {
    ++tally.present;
    if (!valued) {
        return;
    }
    tally.lowest = tally.valued == 0 ? value : std::min(tally.lowest, value);
    tally.highest = tally.valued == 0 ? value : std::max(tally.highest, value);
    tally.sum += value;
    ++tally.valued;
}

// False when the combination has no value: nothing with a value to combine.
bool result(const InstanceTally& tally, InstanceCombine combine, double& value) {
    if (combine == InstanceCombine::Count) {
        value = tally.present;
        return true;
    }
    if (tally.valued == 0) {
        return false;
    }
    switch (combine) {
        case InstanceCombine::Max:
            value = tally.highest;
            break;
        case InstanceCombine::Min:
            value = tally.lowest;
            break;
        case InstanceCombine::Average:
            value = tally.sum / tally.valued;
            break;
        default:
            value = tally.sum;
            break;
    }
    return true;
}

bool matchesAny(const std::vector<WildcardPattern>& patterns, std::u16string_view name,
                std::size_t& steps) {
    return std::any_of(patterns.begin(), patterns.end(), [&](const WildcardPattern& pattern) {
        const WildcardMatch match = pattern.match(name);
        steps += match.steps;
        return match.matched;
    });
}

bool isDigit(char16_t unit) {
    return unit >= u'0' && unit <= u'9';
}

// How the GPU counters name a process's instances: pid_1234_luid_...
constexpr std::u16string_view kPidPrefix = u"pid_";

// A process's instance, as \Process names the second and later of one program
// (chrome#1), less that number; a GPU engine's (pid_1234_luid_...), its pid_1234.
std::u16string_view programKey(std::u16string_view name, bool processes) {
    if (name.starts_with(kPidPrefix)) {
        std::size_t end = kPidPrefix.size();
        while (end < name.size() && isDigit(name[end])) {
            ++end;
        }
        if (end > kPidPrefix.size()) {
            return name.substr(0, end);
        }
    }
    if (processes) {
        const std::size_t hash = name.rfind(u'#');
        if (hash != std::u16string_view::npos && hash + 1 < name.size() &&
            std::all_of(name.begin() + static_cast<std::ptrdiff_t>(hash) + 1, name.end(),
                        isDigit)) {
            return name.substr(0, hash);
        }
    }
    return name;
}

// The part of the name that names its group.
std::u16string_view groupKey(std::u16string_view name, const CompiledSelection& compiled) {
    if (compiled.grouping == CompiledSelection::Grouping::ByProgram) {
        return programKey(name, compiled.processes);
    }
    const InstanceSelection& selection = compiled.selection;
    const std::size_t from = findIgnoringCase(name, selection.groupFrom);
    if (from == std::u16string_view::npos) {
        return name;
    }
    const std::size_t to =
        selection.groupTo.empty()
            ? std::u16string_view::npos
            : findIgnoringCase(name, selection.groupTo, from + selection.groupFrom.size());
    return name.substr(from, to == std::u16string_view::npos ? to : to - from);
}

// Whether a remembered name is still the one at its place: the check every instance
// takes at every tick. The character traits of char16_t compare one unit at a time;
// memcmp compares the same bytes many at a time.
bool sameName(const std::u16string& remembered, std::u16string_view name) {
    if (remembered.size() != name.size()) {
        return false;
    }
    // A short name (a process's) is compared sooner in place, four units at a time,
    // than through the call.
    constexpr std::size_t kShortName = 24;
    if (name.size() <= kShortName) {
        std::size_t at = 0;
        for (; at + 4 <= name.size(); at += 4) {
            std::uint64_t kept = 0;
            std::uint64_t read = 0;
            std::memcpy(&kept, remembered.data() + at, sizeof(kept));
            std::memcpy(&read, name.data() + at, sizeof(read));
            if (kept != read) {
                return false;
            }
        }
        for (; at < name.size(); ++at) {
            if (remembered[at] != name[at]) {
                return false;
            }
        }
        return true;
    }
    return std::memcmp(remembered.data(), name.data(), name.size() * sizeof(char16_t)) == 0;
}

// The name's entry in the memo, with its group or kLeftOut; the steps a new name took
// are added to `steps`.
const InstanceNameIndex::value_type& classify(std::u16string_view name,
                                              const CompiledSelection& compiled,
                                              InstanceMemo& memo, std::size_t& steps) {
    if (const auto known = memo.groupOfName.find(name); known != memo.groupOfName.end()) {
        return *known;
    }
    const InstanceSelection& selection = compiled.selection;
    std::int32_t group = InstanceMemo::kLeftOut;
    steps += name.size();
    // The idle process is the processor's idle time, not a program's.
    const bool idle = compiled.processes && name == u"Idle";
    if (!isTotalInstance(name) && !idle && matchesAny(compiled.include, name, steps) &&
        !matchesAny(compiled.exclude, name, steps)) {
        group = 0;
        if (compiled.grouping != CompiledSelection::Grouping::None) {
            // Finding the group's texts compares at most each against every position.
            steps += name.size() * (selection.groupFrom.size() + selection.groupTo.size() + 1);
            const std::u16string_view key = groupKey(name, compiled);
            // Most names join a group already met (a program's next process): found by
            // the view, with no string made for it.
            auto entry = memo.groupOfKey.find(key);
            if (entry == memo.groupOfKey.end()) {
                entry = memo.groupOfKey
                            .emplace(key, static_cast<std::int32_t>(memo.groupOfKey.size()))
                            .first;
                memo.groups.emplace_back();
                memo.groupKeys.emplace_back(key);
                memo.programNames.emplace_back();
            }
            group = entry->second;
        }
    }
    return *memo.groupOfName.emplace(name, group).first;
}

}  // namespace

bool isTotalInstance(std::u16string_view name) {
    return name == u"_Total" || name.ends_with(u",_Total");
}

double sumInstances(std::span<const platform::CounterInstance> instances) {
    double sum = 0.0;
    bool counted = false;
    for (const platform::CounterInstance& instance : instances) {
        if (instance.valid && !isTotalInstance(instance.name)) {
            sum += instance.value;
            counted = true;
        }
    }
    return counted ? sum : platform::kFailedCounterRead;
}

CompiledSelection::CompiledSelection(const InstanceSelection& chosen, std::u16string_view path)
    : selection(chosen) {
    if (selection.grouped) {
        grouping = Grouping::ByText;
    } else if (selection.top > 0 && selection.byProgram) {
        grouping = Grouping::ByProgram;
    }
    // The object's name runs from the last backslash before its instance's parenthesis.
    const std::u16string_view object = path.substr(0, path.find(u'('));
    const std::size_t slash = object.rfind(u'\\');
    const std::u16string_view objectName =
        slash == std::u16string_view::npos ? object : object.substr(slash + 1);
    constexpr std::u16string_view kProcess = u"Process";
    processes = selection.top > 0 && objectName.size() == kProcess.size() &&
                findIgnoringCase(objectName, kProcess) == 0;
    for (const std::u16string& pattern : selection.include) {
        include.emplace_back(pattern);
    }
    for (const std::u16string& pattern : selection.exclude) {
        exclude.emplace_back(pattern);
    }
}

std::optional<double> combineInstances(std::span<const platform::CounterInstance> instances,
                                       const CompiledSelection& compiled, InstanceMemo& memo,
                                       std::size_t& stepsLeft, double withoutValue) {
    const InstanceSelection& selection = compiled.selection;
    if (memo.groupOfName.size() >
        std::max(kLeastRememberedNames, kRememberedNamesPerInstance * instances.size())) {
        memo = InstanceMemo{};
    }
    if (memo.byPosition.size() < instances.size()) {
        memo.byPosition.resize(instances.size());
    }
    if (memo.groupOfName.empty()) {
        // Every name is new: one table for all of them rather than rehashing as they come.
        memo.groupOfName.reserve(instances.size());
    }
    for (InstanceTally& group : memo.groups) {
        group = InstanceTally{};
    }
    InstanceTally all;
    bool allClassified = true;
    for (std::size_t i = 0; i < instances.size(); ++i) {
        const platform::CounterInstance& instance = instances[i];
        InstanceMemo::Seen& seen = memo.byPosition[i];
        if (!seen.known || !sameName(*seen.name, instance.name)) {
            if (stepsLeft == 0 && !memo.groupOfName.contains(instance.name)) {
                // Left for the next call; the names after it that are known still are.
                seen.known = false;
                allClassified = false;
                continue;
            }
            std::size_t steps = 0;
            const auto& [name, group] = classify(instance.name, compiled, memo, steps);
            stepsLeft -= std::min(steps, stepsLeft);
            seen = {&name, group, true};
        }
        if (seen.group == InstanceMemo::kLeftOut) {
            continue;
        }
        add(compiled.grouping != CompiledSelection::Grouping::None
                ? memo.groups[static_cast<std::size_t>(seen.group)]
                : all,
            instance.value, instance.valid);
    }
    if (!allClassified) {
        return std::nullopt;
    }
    double value = 0.0;
    if (compiled.grouping != CompiledSelection::Grouping::None) {
        for (const InstanceTally& group : memo.groups) {
            if (group.present > 0) {
                const bool valued = result(group, selection.groupCombine, value);
                add(all, value, valued);
            }
        }
    }
    return result(all, selection.combine, value) ? value : withoutValue;
}

namespace {

// The process id a group key of the form pid_1234 names.
std::optional<std::uint32_t> processIdOfKey(std::u16string_view key) {
    // A 32-bit number has at most ten digits.
    if (!key.starts_with(kPidPrefix) || key.size() == kPidPrefix.size() ||
        key.size() > kPidPrefix.size() + 10) {
        return std::nullopt;
    }
    std::uint64_t id = 0;
    for (const char16_t unit : key.substr(kPidPrefix.size())) {
        if (!isDigit(unit)) {
            return std::nullopt;
        }
        id = id * 10 + static_cast<std::uint64_t>(unit - u'0');
    }
    if (id > std::numeric_limits<std::uint32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(id);
}

struct Candidate {
    const std::u16string* name = nullptr;
    double value = 0.0;
    std::int32_t group = InstanceMemo::kLeftOut;
};

// Largest first; equal values by name, so that the list keeps its order while they stay.
bool ranksBefore(const Candidate& a, const Candidate& b) {
    return a.value != b.value ? a.value > b.value : *a.name < *b.name;
}

// Keeps the best candidates met so far in order in `best`, as many as it holds.
inline void consider(const Candidate& candidate, std::span<Candidate> best, std::size_t& count) {
    // Most candidates fall below the last kept: they are turned away by value alone.
    if (std::isnan(candidate.value) ||
        (count == best.size() && (candidate.value < best[count - 1].value ||
                                  !ranksBefore(candidate, best[count - 1])))) {
        return;
    }
    std::size_t at = std::min(count, best.size() - 1);
    while (at > 0 && ranksBefore(candidate, best[at - 1])) {
        best[at] = best[at - 1];
        --at;
    }
    best[at] = candidate;
    count = std::min(count + 1, best.size());
}

// A group of one process is named by its program, asked once while the process lasts.
void nameProgram(const std::u16string& key, std::optional<std::u16string>& programName,
                 platform::Sensors& names, std::u16string& shown) {
    const std::optional<std::uint32_t> processId = processIdOfKey(key);
    if (!processId) {
        shown.assign(key);
        return;
    }
    if (!programName) {
        programName = names.processImageName(*processId);
        if (!programName || programName->empty()) {
            programName = u"pid " + key.substr(kPidPrefix.size());
        }
    }
    shown.assign(*programName);
}

}  // namespace

void rankInstances(std::span<const platform::CounterInstance> instances,
                   const CompiledSelection& compiled, InstanceMemo& memo,
                   platform::Sensors& names, TopInstances& top) {
    std::array<Candidate, kMostTopInstances> storage;
    const std::span<Candidate> best(storage.data(), std::min(top.ranked.size(), storage.size()));
    std::size_t count = 0;
    if (best.empty()) {
        top.count = 0;
        return;
    }
    const bool grouped = compiled.grouping != CompiledSelection::Grouping::None;
    if (grouped) {
        double value = 0.0;
        for (std::size_t group = 0; group < memo.groups.size(); ++group) {
            const InstanceTally& tally = memo.groups[group];
            if (tally.present == 0) {
                // The process ended, or its number may name another one next time.
                memo.programNames[group].reset();
            } else if (result(tally, compiled.selection.groupCombine, value)) {
                consider({&memo.groupKeys[group], value, static_cast<std::int32_t>(group)}, best,
                         count);
            }
        }
    } else {
        for (std::size_t i = 0; i < instances.size() && i < memo.byPosition.size(); ++i) {
            const InstanceMemo::Seen& seen = memo.byPosition[i];
            if (seen.known && seen.group != InstanceMemo::kLeftOut && instances[i].valid) {
                consider({seen.name, instances[i].value}, best, count);
            }
        }
    }
    for (std::size_t rank = 0; rank < count; ++rank) {
        RankedInstance& entry = top.ranked[rank];
        entry.value = best[rank].value;
        if (grouped && compiled.grouping == CompiledSelection::Grouping::ByProgram) {
            const auto group = static_cast<std::size_t>(best[rank].group);
            nameProgram(*best[rank].name, memo.programNames[group], names, entry.name);
        } else {
            entry.name.assign(*best[rank].name);
        }
    }
    top.count = count;
}

}  // namespace tavisto
