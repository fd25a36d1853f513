#pragma once
// tavisto-check's command line, shared by the Linux and the Windows program.

#include <ostream>
#include <string>
#include <vector>

#include "config/configuration_checker.h"

namespace tavisto::check {

// Exit statuses.
inline constexpr int kNoErrors = 0;
inline constexpr int kErrorsFound = 1;
inline constexpr int kUsageOrUnreadable = 2;

// Runs the command on its arguments (UTF-8, without the program name). `machine` is the
// catalogue that --machine checks counter paths against; null where there is none.
int runCheckCommand(const std::vector<std::string>& arguments, CounterCatalog* machine,
                    std::ostream& out, std::ostream& err);

}  // namespace tavisto::check
