#include "core/wildcard_match.h"

namespace tavisto {

WildcardMatch matchWildcardCounted(std::u16string_view pattern, std::u16string_view name) {
    WildcardMatch result;
    std::size_t p = 0;
    std::size_t n = 0;
    // After a "*": the pattern position just past it, and the name position it has
    // swallowed up to. A later "*" replaces it: what the earlier one took is never
    // reconsidered, since the later star could take any extra text just as well.
    std::size_t starPattern = std::u16string_view::npos;
    std::size_t starName = 0;
    while (n < name.size()) {
        ++result.steps;
        if (p < pattern.size() && pattern[p] == u'*') {
            starPattern = ++p;
            starName = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == u'?' || foldCase(pattern[p]) == foldCase(name[n]))) {
            ++p;
            ++n;
        } else if (starPattern != std::u16string_view::npos) {
            p = starPattern;
            n = ++starName;
        } else {
            return result;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') {
        ++p;
        ++result.steps;
    }
    result.matched = p == pattern.size();
    return result;
}

std::size_t findIgnoringCase(std::u16string_view text, std::u16string_view part, std::size_t from) {
    if (part.size() > text.size()) {
        return std::u16string_view::npos;
    }
    for (std::size_t start = from; start + part.size() <= text.size(); ++start) {
        std::size_t i = 0;
        while (i < part.size() && foldCase(text[start + i]) == foldCase(part[i])) {
            ++i;
        }
        if (i == part.size()) {
            return start;
        }
    }
    return std::u16string_view::npos;
}

}  // namespace tavisto
