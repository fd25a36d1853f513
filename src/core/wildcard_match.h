#pragma once
// Instance-name patterns as the performance-counter library writes them: "*" stands for
// any run of characters, "?" for one, and letters match whatever their case. A pattern
// is compiled once; matching then reads the name once for the text before the first
// "*", once for the text after the last, and once for each run between stars (each
// found as early as it occurs, in one pass), so that it costs at most about
// (name length) x (stars + 1) steps whatever the runs hold.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavisto {

// A character folded for comparison without regard to case: ASCII and Latin-1 letters.
constexpr char16_t foldCase(char16_t c) {
    if ((c >= u'A' && c <= u'Z') || (c >= u'\u00C0' && c <= u'\u00DE' && c != u'\u00D7')) {
        return static_cast<char16_t>(c + 0x20);
    }
    return c;
}

struct WildcardMatch {
    bool matched = false;
    // Characters of the name and pattern compared.
    std::size_t steps = 0;
};

class WildcardPattern {
  public:
    explicit WildcardPattern(std::u16string_view pattern);
    WildcardMatch match(std::u16string_view name) const;

  private:
    // A run of the pattern between two stars. Bit i of a unit's mask says the run's
    // unit i matches it ("?" matches every unit), so that the run is searched for with
    // shift-and: one pass over the name, never again from each start position.
    struct StarlessRun {
        std::size_t size = 0;
        std::size_t words = 0;
        std::vector<char16_t> units;        // folded, sorted, distinct
        std::vector<std::uint64_t> masks;   // `words` per unit, in the order of `units`
        std::vector<std::uint64_t> anyUnit; // the "?" positions
    };
    static StarlessRun compile(std::u16string_view run);
    // The unit's masks in the run; null when the run does not hold it.
    static const std::uint64_t* masksOf(const StarlessRun& run, char16_t folded);
    static std::size_t find(const StarlessRun& run, std::u16string_view name, std::size_t from,
                            std::size_t to, std::size_t& steps);

    std::u16string head_;  // the whole pattern when it has no star
    std::u16string tail_;  // after the last star
    bool hasStar_ = false;
    std::vector<StarlessRun> runs_;
};

inline WildcardMatch matchWildcardCounted(std::u16string_view pattern, std::u16string_view name) {
    return WildcardPattern(pattern).match(name);
}

inline bool matchesWildcard(std::u16string_view pattern, std::u16string_view name) {
    return matchWildcardCounted(pattern, name).matched;
}

// Where `part` first occurs in `text` at or after `from`, compared without regard to
// case (npos when it does not); at most text length x part length comparisons.
std::size_t findIgnoringCase(std::u16string_view text, std::u16string_view part,
                             std::size_t from = 0);

}  // namespace tavisto
