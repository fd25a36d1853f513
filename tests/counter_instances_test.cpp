#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sampling/counter_instances.h"

namespace tavisto {
namespace {

TEST(CounterInstances, OnlyAStarInTheInstanceMakesAWildcard) {
    const struct {
        std::u16string path;
        bool wildcard;
    } cases[] = {
        {u"\\Network Interface(*)\\Bytes Received/sec", true},
        {u"\\GPU Engine(*engtype_3D)\\Utilization Percentage", true},
        {u"\\Process(chrome*)\\Working Set - Private", true},
        {u"\\Thread(explorer/*)\\% Processor Time", true},
        {u"\\Processor(_Total)\\% Processor Time", false},
        {u"\\Memory\\Available Bytes", false},
        {u"\\Memory\\Counter (*) with a star", false},  // the star is in the counter name
        {u"\\Process(a)b*\\Working Set", false},        // no ")\" closes an instance with "*"
        {u"\\Object(*", false},
        {u"", false},
    };
    for (const auto& [path, wildcard] : cases) {
        EXPECT_EQ(hasWildcardInstance(path), wildcard) << std::string(path.begin(), path.end());
    }
}

TEST(CounterInstances, SumLeavesOutTotalsAndInvalidValues) {
    const std::vector<platform::CounterInstance> processors = {
        {u"0", 30.0, true},        {u"1", 50.0, true},    {u"_Total", 40.0, true},
        {u"0,_Total", 40.0, true}, {u"2", 1000.0, false}, {u"_total_x", 5.0, true},
    };
    EXPECT_EQ(sumInstances(processors), 85.0);

    const std::vector<platform::CounterInstance> onlyTotals = {{u"_Total", 40.0, true},
                                                               {u"1,_Total", 7.0, true}};
    EXPECT_EQ(sumInstances(onlyTotals), platform::kFailedCounterRead);
    const std::vector<platform::CounterInstance> noneValid = {{u"eth0", 9.0, false}};
    EXPECT_EQ(sumInstances(noneValid), platform::kFailedCounterRead);
    EXPECT_EQ(sumInstances({}), platform::kFailedCounterRead);
}

}  // namespace
}  // namespace tavisto
