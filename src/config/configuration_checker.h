#pragma once
// Checks a configuration file: the errors that make the band refuse it, with the band's
// own messages, the errors in what only Tavisto.exe reads and refuses (the hotkey) while
// the band loads the file, and warnings about what loads but will not do what its author
// meant, each placed at a line and column of the file.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/texts.h"

namespace tavisto {

enum class Severity { Error, Warning };

struct Finding {
    Severity severity = Severity::Warning;
    std::size_t line = 1;    // 1-based
    std::size_t column = 1;  // 1-based, in characters
    std::string pointer;     // JSON pointer of the value concerned, "" for the document
    std::string code;        // short and stable: "parse", "type", "unknown-key", ...
    std::string message;     // in plain words; empty only when `detail` has no plain words
    std::string detail;      // for a refusal, the band's own message; otherwise empty
};

// The counters this machine can sample, for checks made against it.
class CounterCatalog {
  public:
    virtual ~CounterCatalog() = default;
    // Why a counter with this English path cannot be added to a query here, or why a
    // sensor field ("ADAPTER_PERFDATA.Temperature") is not available, in plain words
    // ("this machine has no such counter", "no battery"); empty when it can be read.
    virtual std::string missingReason(std::u16string_view englishPath) = 0;
};

struct CheckOptions {
    CounterCatalog* counters = nullptr;  // null: counter paths are not looked up
    const TextTable* texts = nullptr;    // the language of the plain words; null: English
};

// Beyond this many findings the rest are summed up in one last finding, "and N more".
inline constexpr std::size_t kMaxFindings = 100;

// Checks the bytes of a configuration file, decoded as the band decodes them. Findings
// are in file order, errors kept ahead of warnings when there are too many; their texts
// are valid UTF-8 without control characters but tab. Never throws.
std::vector<Finding> checkConfiguration(std::string_view bytes,
                                        const CheckOptions& options = {}) noexcept;

// The code of an error about "hotkey", which Tavisto.exe refuses and the band ignores.
inline constexpr std::string_view kHotkeyCode = "hotkey";

bool hasErrors(const std::vector<Finding>& findings);

// Whether the band refuses the file for this finding, or for one of these findings: an
// error that is not about a value only Tavisto.exe reads.
bool bandRefuses(const Finding& finding);
bool bandRefuses(const std::vector<Finding>& findings);

// The finding as one line of text: the message, then the band's own message in
// parentheses after "the band says:" in the language of `texts` (alone when there are no
// plain words for it).
std::string findingText(const Finding& finding, const TextTable& texts = englishTexts());

}  // namespace tavisto
