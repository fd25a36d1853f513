#pragma once
// Instance-name patterns as the performance-counter library writes them: "*" stands for
// any run of characters, "?" for one, and letters match whatever their case. Matching
// keeps one fallback point (the last "*"), never a stack of them, so that it costs at
// most (name length + 1) x (pattern length + 1) steps whatever the pattern holds.

#include <cstddef>
#include <string_view>

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
    // Characters compared, counting each return to the last "*" as one.
    std::size_t steps = 0;
};

WildcardMatch matchWildcardCounted(std::u16string_view pattern, std::u16string_view name);

inline bool matchesWildcard(std::u16string_view pattern, std::u16string_view name) {
    return matchWildcardCounted(pattern, name).matched;
}

// Where `part` first occurs in `text` at or after `from`, compared without regard to
// case (npos when it does not); at most text length x part length comparisons.
std::size_t findIgnoringCase(std::u16string_view text, std::u16string_view part,
                             std::size_t from = 0);

}  // namespace tavisto
