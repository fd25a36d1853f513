#include "sampling/counter_instances.h"

namespace tavisto {

bool hasWildcardInstance(std::u16string_view path) {
    // The object name ends at the first "(" or "\" after the leading "\"; an instance
    // runs from that "(" to the ")" that precedes the counter name.
    const std::size_t open = path.find_first_of(u"(\\", 1);
    if (open == std::u16string_view::npos || path[open] != u'(') {
        return false;
    }
    const std::size_t close = path.rfind(u")\\");
    if (close == std::u16string_view::npos || close < open) {
        return false;
    }
    return path.substr(open + 1, close - open - 1).find(u'*') != std::u16string_view::npos;
}

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

}  // namespace tavisto
