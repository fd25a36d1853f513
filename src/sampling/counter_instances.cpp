#include "sampling/counter_instances.h"

#include <algorithm>
#include <cstring>

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

// The part of the name that names its group.
std::u16string_view groupKey(std::u16string_view name, const InstanceSelection& selection) {
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
    return remembered.size() == name.size() &&
           std::memcmp(remembered.data(), name.data(), name.size() * sizeof(char16_t)) == 0;
}

// The name's group, or kLeftOut; the steps a new name took are added to `steps`.
std::int32_t classify(std::u16string_view name, const CompiledSelection& compiled,
                      InstanceMemo& memo, std::size_t& steps) {
    if (const auto known = memo.groupOfName.find(name); known != memo.groupOfName.end()) {
        return known->second;
    }
    const InstanceSelection& selection = compiled.selection;
    std::int32_t group = InstanceMemo::kLeftOut;
    steps += name.size();
    if (!isTotalInstance(name) && matchesAny(compiled.include, name, steps) &&
        !matchesAny(compiled.exclude, name, steps)) {
        group = 0;
        if (selection.grouped) {
            // Finding the group's texts compares at most each against every position.
            steps += name.size() * (selection.groupFrom.size() + selection.groupTo.size() + 1);
            const std::u16string_view key = groupKey(name, selection);
            const auto [entry, added] = memo.groupOfKey.try_emplace(
                std::u16string(key), static_cast<std::int32_t>(memo.groupOfKey.size()));
            if (added) {
                memo.groups.emplace_back();
            }
            group = entry->second;
        }
    }
    memo.groupOfName.emplace(name, group);
    return group;
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

CompiledSelection::CompiledSelection(const InstanceSelection& chosen) : selection(chosen) {
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
    for (InstanceTally& group : memo.groups) {
        group = InstanceTally{};
    }
    InstanceTally all;
    bool allClassified = true;
    for (std::size_t i = 0; i < instances.size(); ++i) {
        const platform::CounterInstance& instance = instances[i];
        InstanceMemo::Seen& seen = memo.byPosition[i];
        if (!seen.known || !sameName(seen.name, instance.name)) {
            const bool remembered = memo.groupOfName.contains(instance.name);
            if (!remembered && stepsLeft == 0) {
                // Left for the next call; the names after it that are known still are.
                seen.known = false;
                allClassified = false;
                continue;
            }
            std::size_t steps = 0;
            seen.group = classify(instance.name, compiled, memo, steps);
            stepsLeft -= std::min(steps, stepsLeft);
            seen.name.assign(instance.name);
            seen.known = true;
        }
        if (seen.group == InstanceMemo::kLeftOut) {
            continue;
        }
        add(selection.grouped ? memo.groups[static_cast<std::size_t>(seen.group)] : all,
            instance.value, instance.valid);
    }
    if (!allClassified) {
        return std::nullopt;
    }
    double value = 0.0;
    if (selection.grouped) {
        for (const InstanceTally& group : memo.groups) {
            if (group.present > 0) {
                const bool valued = result(group, selection.groupCombine, value);
                add(all, value, valued);
            }
        }
    }
    return result(all, selection.combine, value) ? value : withoutValue;
}

}  // namespace tavisto
