#pragma once
// The tests' side of the stand-in pdh.dll: the schedule it follows, written to the
// control file that TAVISTO_TEST_PDH names (programs started afterwards inherit the
// variable), and what it counted in a process.

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "stand_in_status.h"

namespace tavisto::testing {

// What the stand-in does; the instructions of pdh_stand_in.cpp, one field each.
struct PdhSchedule {
    unsigned long long seed = 1;
    double failOpen = 0;
    double failAdd = 0;
    double failCollect = 0;
    double failRead = 0;
    std::vector<std::string> refusedPaths;
    unsigned sleepCollectMilliseconds = 0;
    unsigned sleepAddMilliseconds = 0;
    unsigned instances = 4;
    std::string instancePattern = "instance_{n}";
    // When there are any, the instances instead, each with its value.
    std::vector<std::pair<std::string, double>> namedInstances;
    std::optional<double> value;  // none: values cycle from 0 to 100 with each collection
};

// Owns the control file and the variable that names it for as long as it lives.
class PdhStandIn {
  public:
    // The file goes into the temporary folder, named after this process.
    PdhStandIn();
    ~PdhStandIn();
    PdhStandIn(const PdhStandIn&) = delete;
    PdhStandIn& operator=(const PdhStandIn&) = delete;

    // Replaces the file in one step, so that the stand-in never reads half of it.
    bool follow(const PdhSchedule& schedule);

  private:
    std::wstring path_;
    int written_ = 0;
};

std::string controlText(const PdhSchedule& schedule);

// The stand-in's counts in a process; none when it is not loaded there.
std::optional<StandInStatus> standInStatus(DWORD processId);

}  // namespace tavisto::testing
