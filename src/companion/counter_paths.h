#pragma once
// Counter paths as the configuration needs them: English names, and the JSON fragment
// the counter picker copies.

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/texts.h"

namespace tavisto::companion {

// `"counterPath": "(\\Object(instance)\\Counter)"`, the path escaped for JSON; no
// instance part when `instance` is empty.
std::string counterPathFragment(std::wstring_view object, std::wstring_view instance,
                                std::wstring_view counter);

// The "units" a counter most likely wants, from its English name, which says its type:
// "% Processor Time" and "Utilization Percentage" a percentage, "Bytes Received/sec" a
// byte rate, "Available Bytes"
// a size; any other a count, per second or not.
std::string_view proposedUnits(std::wstring_view counter);
// The members that go with those units so that every meter kind shows the value: a
// percentage's range 0 to 100, and for anything else a range that widens to the largest
// value seen.
std::string proposedReading(std::wstring_view counter);

// The sources of system fields, listed after the performance objects
// ("PERFORMANCE_INFORMATION", "ADAPTER_PERFDATA", "SYSTEM_POWER_STATUS"), and the fields
// of the one named; none for any other name.
std::vector<std::wstring> fieldSourceNames();
std::vector<std::wstring> fieldsOf(std::wstring_view source);
// `"counterPath": "(SOURCE.Field)"` with the units the field reads in and the range they
// want, as proposedReading gives it.
std::string fieldFragment(std::wstring_view source, std::wstring_view field);

// A way to combine the instances of a wildcard path that the picker offers, and the
// "instances" object that says it (empty for the sum, which needs none).
struct InstanceChoice {
    std::wstring label;
    std::string instancesJson;
};

// The combinations for an object, by its English name: sum, max, min, average and
// count, and for "GPU Engine" the busiest engine summed over processes first, the
// figure Task Manager shows; labelled from `texts`.
std::vector<InstanceChoice> instanceChoices(const TextTable& texts, std::wstring_view object);

// `fragment` followed by the choice's "instances" member when `instance` holds a
// wildcard and the choice needs one.
std::string withInstances(std::string fragment, std::wstring_view instance,
                          const InstanceChoice& choice);

// The performance text table of the registry ("Counter" of Perflib\009): index and
// name pairs in a list of zero-terminated strings, ended by an empty one. Pairs
// whose index is not a number are skipped.
std::map<unsigned long, std::wstring> parseCounterNames(std::wstring_view table);

}  // namespace tavisto::companion
