#pragma once

#include <span>
#include <string_view>

#include "config/counter_references.h"
#include "config/instance_selection.h"
#include "platform/platform.h"

namespace tavisto {

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
// combine the counter reads as a failed read.
double combineInstances(std::span<const platform::CounterInstance> instances,
                        const InstanceSelection& selection, InstanceMemo& memo);

}  // namespace tavisto
