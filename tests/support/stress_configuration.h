#pragma once
// The configuration that loads the band most: the benchmarks measure it and the
// fault sweeps run it.

#include <string>

#include <nlohmann/json.hpp>

namespace tavisto::testing {

// 8 groups of 5 meters (every kind, stacked and side by side), 2 counters each, on
// three rates. With `singleReferences` every counter has one reference; otherwise
// the pies combine two.
inline nlohmann::json stressConfiguration(bool singleReferences) {
    const char* const paths[] = {
        "(\\Processor(_Total)\\% Processor Time)",
        "(\\PhysicalDisk(_Total)\\Disk Read Bytes/sec)",
        "(\\PhysicalDisk(_Total)\\Disk Write Bytes/sec)",
        "(PERFORMANCE_INFORMATION.PhysicalAvailable)",
    };
    const char* const fonts[] = {"Arial", "Segoe UI", "DejaVu Sans"};
    const int rates[] = {500, 1000, 2000};
    nlohmann::json groups = nlohmann::json::array();
    int meterIndex = 0;
    for (int group = 0; group < 8; ++group) {
        nlohmann::json meters = nlohmann::json::array();
        for (const char* kind : {"column", "column", "pie", "text", "indicator"}) {
            nlohmann::json counters = nlohmann::json::array();
            for (int c = 0; c < 2; ++c) {
                const int n = meterIndex * 2 + c;
                nlohmann::json counter = {{"counterPath", paths[n % 4]},
                                          {"color", c == 0 ? "#3080FF" : "#FFB030"},
                                          {"minValue", 0},
                                          {"maxValue", 100},
                                          {"dynamicMaxValue", true},
                                          {"font", fonts[n % 3]},
                                          {"fontSize", 8 + n % 3}};
                if (std::string(kind) == "text") {
                    counter["units"] = n % 4 == 0 ? "percent" : "bytes/second";
                    counter["trigger"] = ">= 10";
                }
                if (std::string(kind) == "indicator") {
                    counter["indicator"] = c == 0 ? "BUSY" : "IO";
                    counter["trigger"] = "> 50";
                }
                if (std::string(kind) == "pie" && !singleReferences) {
                    counter["counterPath"] =
                        "100 * (1 - (PERFORMANCE_INFORMATION.PhysicalAvailable) / "
                        "(PERFORMANCE_INFORMATION.PhysicalTotal))";
                }
                counters.push_back(counter);
            }
            meters.push_back({{"meterType", kind},
                              {"color", "#C0C0C0"},
                              {"width", 30},
                              {"refreshRate", rates[meterIndex % 3]},
                              {"counters", counters}});
            ++meterIndex;
        }
        groups.push_back({{"name", "Group " + std::to_string(group)},
                          {"orientation", group % 2 == 0 ? "horizontal" : "vertical"},
                          {"meters", meters}});
    }
    return {{"horizontalPadding", 2},
            {"verticalPadding", 2},
            {"horizontalSpacing", 4},
            {"verticalSpacing", 2},
            {"meterGroups", groups}};
}

}  // namespace tavisto::testing
