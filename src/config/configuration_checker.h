#pragma once
// Checks a configuration file: the errors that make the band refuse it, with the band's
// own messages, and warnings about what loads but will not do what its author meant,
// each placed at a line and column of the file.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tavisto {

enum class Severity { Error, Warning };

struct Finding {
    Severity severity = Severity::Warning;
    std::size_t line = 1;    // 1-based
    std::size_t column = 1;  // 1-based, in characters
    std::string pointer;     // JSON pointer of the value concerned, "" for the document
    std::string code;        // short and stable: "parse", "type", "unknown-key", ...
    std::string message;
};

// The counters this machine can sample, for checks made against it.
class CounterCatalog {
  public:
    virtual ~CounterCatalog() = default;
    // Whether a counter with this English path can be added to a query here.
    virtual bool hasCounter(std::u16string_view englishPath) = 0;
};

struct CheckOptions {
    double dpiScale = 1.0;
    CounterCatalog* counters = nullptr;  // null: counter paths are not looked up
};

// Beyond this many findings the rest are summed up in one last finding, "and N more".
inline constexpr std::size_t kMaxFindings = 100;

// Checks the bytes of a configuration file. Findings are in file order, errors kept
// ahead of warnings when there are too many. Never throws.
std::vector<Finding> checkConfiguration(std::string_view bytes,
                                        const CheckOptions& options = {}) noexcept;

bool hasErrors(const std::vector<Finding>& findings);

}  // namespace tavisto
