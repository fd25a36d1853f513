#include "config/counter_references.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "config/configuration_text.h"

namespace tavisto {
namespace {

// A field reference is "(" and its source's name, any one character (the dot, as
// written) and the field's name up to ")".
struct FieldOpening {
    std::u16string_view opening;
    std::int32_t kind;
};
constexpr FieldOpening kFieldOpenings[] = {
    {u"(PERFORMANCE_INFORMATION", CounterReference::PerformanceField},
    {u"(SYSTEM_INFO", CounterReference::PerformanceField},
    {u"(ADAPTER_PERFDATA", CounterReference::SensorField},
    {u"(SYSTEM_POWER_STATUS", CounterReference::SensorField},
};
constexpr std::size_t kNone = std::u16string::npos;

// Hands out the variable names "a", "b", ... by character code, up to the last one-byte
// code; a counter that needs more is refused rather than given names that wrap around.
class Names {
  public:
    unsigned char next() {
        if (issued_ == kMaxCounterReferences) {
            throw ConfigurationLimitError(kTooManyReferences);
        }
        return static_cast<unsigned char>('a' + issued_++);
    }

  private:
    std::size_t issued_ = 0;
};

void addReference(ReferenceMap& references, unsigned char name, std::int32_t kind,
                  std::u16string_view match) {
    CounterReference reference;
    reference.kind = kind;
    reference.path = std::u16string(match.substr(1, match.size() - 2));
    references.insert_or_assign(std::string(1, static_cast<char>(name)), std::move(reference));
}

// Where a search for ( \ [^\]* \ [^\)]* ) stands after some prefix of the text. A start
// "(\" still in its object part has seen no backslash since its own; one in its counter
// part has seen exactly one and no ")". Any later backslash ends the object part of the
// one and the counter part of the other, so at most one start is in each part.
struct CounterSearch {
    std::size_t inObject = kNone;
    std::size_t inCounter = kNone;
};

// Replaces every performance-counter reference by a name, each occurrence its own, as a
// search of the rewritten text from its beginning after every replacement would. The
// rewritten text is built once, left to right. A reference always starts with "(", and
// the search state before each "(" is kept, so a replacement resumes from the state
// before the reference: a start left of it that failed only on the reference's
// backslashes may match now.
void replacePerformanceCounters(std::u16string& text, ReferenceMap& references, Names& names) {
    struct Opening {
        std::size_t position;
        CounterSearch before;
    };
    std::vector<Opening> openings;  // every "(" of the rewritten text, in order
    std::u16string rewritten;
    rewritten.reserve(text.size());
    CounterSearch search;
    for (const char16_t c : text) {
        if (c == u')' && search.inCounter != kNone) {
            const std::size_t start = search.inCounter;
            rewritten.push_back(c);
            const unsigned char name = names.next();
            addReference(references, name, CounterReference::PerformanceCounter,
                         std::u16string_view(rewritten).substr(start));
            while (openings.back().position != start) {
                openings.pop_back();
            }
            search = openings.back().before;
            openings.pop_back();
            rewritten.resize(start);
            // A name is never "(", "\" or ")", so it leaves the search as it was.
            rewritten.push_back(static_cast<char16_t>(name));
            continue;
        }
        if (c == u'(') {
            openings.push_back({rewritten.size(), search});
        } else if (c == u'\\') {
            search.inCounter = search.inObject;
            search.inObject =
                !rewritten.empty() && rewritten.back() == u'(' ? rewritten.size() - 1 : kNone;
        }
        rewritten.push_back(c);
    }
    text = std::move(rewritten);
}

// The regular-expression wildcard after the prefix takes any character but a line terminator.
bool isLineTerminator(char16_t c) {
    return c == u'\n' || c == u'\r' || c == u'\u2028' || c == u'\u2029';
}

struct Match {
    std::size_t position;
    std::size_t length;
    std::int32_t kind;
};

// Leftmost match of ( SOURCE . [^\)]* ) at or after `from`, for one source's opening.
std::optional<Match> findField(std::u16string_view text, std::size_t from,
                               const FieldOpening& source) {
    const std::u16string_view opening = source.opening;
    for (std::size_t start = text.find(opening, from); start != kNone;
         start = text.find(opening, start + 1)) {
        const std::size_t anyCharacter = start + opening.size();
        if (anyCharacter >= text.size()) {
            return std::nullopt;
        }
        if (isLineTerminator(text[anyCharacter])) {
            continue;
        }
        const std::size_t close = text.find(u')', anyCharacter + 1);
        // Without a ")" here there is none for any later start either.
        if (close == kNone) {
            return std::nullopt;
        }
        return Match{start, close + 1 - start, source.kind};
    }
    return std::nullopt;
}

// The leftmost field reference of any source at or after `from`. Openings never start
// at the same place, so the leftmost is the only match there.
std::optional<Match> findField(std::u16string_view text, std::size_t from) {
    std::optional<Match> leftmost;
    for (const FieldOpening& source : kFieldOpenings) {
        const std::optional<Match> match = findField(text, from, source);
        if (match && (!leftmost || match->position < leftmost->position)) {
            leftmost = match;
        }
    }
    return leftmost;
}

// Replaces the occurrences of `pattern` at or after `from`, left to right and without
// overlap, by `name`, in one pass (Knuth-Morris-Pratt).
void replaceOccurrences(std::u16string& text, std::size_t from, std::u16string_view pattern,
                        char16_t name) {
    std::vector<std::size_t> border(pattern.size(), 0);
    for (std::size_t i = 1, k = 0; i < pattern.size(); ++i) {
        while (k > 0 && pattern[i] != pattern[k]) {
            k = border[k - 1];
        }
        if (pattern[i] == pattern[k]) {
            ++k;
        }
        border[i] = k;
    }
    std::u16string rewritten(text, 0, from);
    rewritten.reserve(text.size());
    std::size_t matched = 0;
    for (std::size_t i = from; i < text.size(); ++i) {
        while (matched > 0 && text[i] != pattern[matched]) {
            matched = border[matched - 1];
        }
        if (text[i] == pattern[matched]) {
            ++matched;
        }
        rewritten.push_back(text[i]);
        if (matched == pattern.size()) {
            rewritten.resize(rewritten.size() - pattern.size());
            rewritten.push_back(name);
            matched = 0;
        }
    }
    text = std::move(rewritten);
}

}  // namespace

ReferenceMap extractReferences(std::u16string& text) {
    ReferenceMap references;
    Names names;
    replacePerformanceCounters(text, references, names);

    // No field match can start left of the last one: a start there failed on a line
    // terminator after its prefix, which no replacement changes.
    std::size_t from = 0;
    while (const auto match = findField(text, from)) {
        const std::u16string matched = text.substr(match->position, match->length);
        const unsigned char name = names.next();
        replaceOccurrences(text, match->position, matched, static_cast<char16_t>(name));
        addReference(references, name, match->kind, matched);
        from = match->position;
    }
    return references;
}

bool hasWildcardInstance(std::u16string_view path) {
    // The object name ends at the first "(" or "\" after the leading "\"; an instance
    // runs from that "(" to the ")" that precedes the counter name.
    const std::size_t open = path.find_first_of(u"(\\", 1);
    if (open == std::u16string_view::npos || path[open] != u'(') {
        return false;
    }
    const std::size_t close = path.rfind(u")\\");
    if (close == std::u16string_view::npos || close < open) {
        return false;
    }
    return path.substr(open + 1, close - open - 1).find(u'*') != std::u16string_view::npos;
}

}  // namespace tavisto
