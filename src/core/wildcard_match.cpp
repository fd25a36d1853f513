#include "core/wildcard_match.h"

#include <algorithm>

namespace tavisto {
namespace {

bool unitMatches(char16_t patternUnit, char16_t nameUnit) {
    return patternUnit == u'?' || foldCase(patternUnit) == foldCase(nameUnit);
}

// Whether `part` (no "*") matches the name exactly at `at`.
bool matchesAt(std::u16string_view part, std::u16string_view name, std::size_t at,
               std::size_t& steps) {
    for (std::size_t i = 0; i < part.size(); ++i) {
        ++steps;
        if (!unitMatches(part[i], name[at + i])) {
            return false;
        }
    }
    return true;
}

void setBit(std::uint64_t* mask, std::size_t bit) {
    mask[bit / 64] |= std::uint64_t{1} << (bit % 64);
}

}  // namespace

WildcardPattern::WildcardPattern(std::u16string_view text) {
    const std::size_t firstStar = text.find(u'*');
    hasStar_ = firstStar != std::u16string_view::npos;
    if (!hasStar_) {
        head_ = text;
        return;
    }
    const std::size_t lastStar = text.rfind(u'*');
    head_ = text.substr(0, firstStar);
    tail_ = text.substr(lastStar + 1);
    for (std::size_t start = firstStar + 1; start < lastStar;) {
        const std::size_t end = text.find(u'*', start);
        if (end > start) {
            runs_.push_back(compile(text.substr(start, end - start)));
        }
        start = end + 1;
    }
}

WildcardPattern::StarlessRun WildcardPattern::compile(std::u16string_view run) {
    StarlessRun compiled;
    compiled.size = run.size();
    compiled.words = (run.size() + 63) / 64;
    for (const char16_t unit : run) {
        if (unit != u'?') {
            compiled.units.push_back(foldCase(unit));
        }
    }
    std::sort(compiled.units.begin(), compiled.units.end());
    compiled.units.erase(std::unique(compiled.units.begin(), compiled.units.end()),
                         compiled.units.end());
    compiled.masks.assign(compiled.units.size() * compiled.words, 0);
    compiled.anyUnit.assign(compiled.words, 0);
    for (std::size_t i = 0; i < run.size(); ++i) {
        if (run[i] == u'?') {
            setBit(compiled.anyUnit.data(), i);
            continue;
        }
        const auto unit =
            std::lower_bound(compiled.units.begin(), compiled.units.end(), foldCase(run[i]));
        setBit(compiled.masks.data() +
                   static_cast<std::size_t>(unit - compiled.units.begin()) * compiled.words,
               i);
    }
    return compiled;
}

const std::uint64_t* WildcardPattern::masksOf(const StarlessRun& run, char16_t folded) {
    const auto unit = std::lower_bound(run.units.begin(), run.units.end(), folded);
    return unit != run.units.end() && *unit == folded
               ? run.masks.data() + static_cast<std::size_t>(unit - run.units.begin()) * run.words
               : nullptr;
}

std::size_t WildcardPattern::find(const StarlessRun& run, std::u16string_view name,
                                  std::size_t from, std::size_t to, std::size_t& steps) {
    const std::size_t lastWord = (run.size - 1) / 64;
    const std::uint64_t lastBit = std::uint64_t{1} << ((run.size - 1) % 64);
    if (run.words == 1) {
        // Runs of up to 64 units, nearly all of them: the state is one word.
        std::uint64_t state = 0;
        for (std::size_t at = from; at < to; ++at) {
            ++steps;
            const std::uint64_t* matching = masksOf(run, foldCase(name[at]));
            state = ((state << 1) | 1) & (run.anyUnit[0] | (matching != nullptr ? *matching : 0));
            if ((state & lastBit) != 0) {
                return at + 1 - run.size;
            }
        }
        return std::u16string_view::npos;
    }
    // A pattern as long as the loader allows fits the state on the stack.
    constexpr std::size_t kStackWords = 4;
    std::uint64_t onStack[kStackWords] = {};
    std::vector<std::uint64_t> onHeap;
    if (run.words > kStackWords) {
        onHeap.assign(run.words, 0);
    }
    std::uint64_t* const state = onHeap.empty() ? onStack : onHeap.data();
    for (std::size_t at = from; at < to; ++at) {
        ++steps;
        const std::uint64_t* matching = masksOf(run, foldCase(name[at]));
        // A 1 shifted in at bit 0: a match may start at every position.
        std::uint64_t carry = 1;
        for (std::size_t word = 0; word < run.words; ++word) {
            const std::uint64_t next = state[word] >> 63;
            const std::uint64_t allowed =
                run.anyUnit[word] | (matching != nullptr ? matching[word] : 0);
            state[word] = ((state[word] << 1) | carry) & allowed;
            carry = next;
        }
        if ((state[lastWord] & lastBit) != 0) {
            return at + 1 - run.size;
        }
    }
    return std::u16string_view::npos;
}

WildcardMatch WildcardPattern::match(std::u16string_view name) const {
    WildcardMatch result;
    if (!hasStar_) {
        result.matched = head_.size() == name.size() && matchesAt(head_, name, 0, result.steps);
        return result;
    }
    // The text before the first star must start the name, the text after the last one
    // end it; each run between is taken where it first occurs after the one before,
    // since a later star can take whatever an earlier run left.
    if (head_.size() + tail_.size() > name.size() || !matchesAt(head_, name, 0, result.steps) ||
        !matchesAt(tail_, name, name.size() - tail_.size(), result.steps)) {
        return result;
    }
    std::size_t at = head_.size();
    const std::size_t end = name.size() - tail_.size();
    for (const StarlessRun& run : runs_) {
        const std::size_t found = find(run, name, at, end, result.steps);
        if (found == std::u16string_view::npos) {
            return result;
        }
        at = found + run.size;
    }
    result.matched = true;
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
