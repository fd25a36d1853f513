#include "config/counter_references.h"

#include <optional>
#include <string_view>

namespace tavisto {
namespace {

constexpr std::u16string_view kPerformanceFieldPrefix = u"(PERFORMANCE_INFORMATION";

struct Match {
    std::size_t position;
    std::size_t length;
};

// Leftmost match of ( \ [^\]* \ [^\)]* ). Each run stops at the first character it
// cannot take, and that character decides the match, so no backtracking is needed.
std::optional<Match> findPerformanceCounter(std::u16string_view text) {
    for (std::size_t start = 0; start + 1 < text.size(); ++start) {
        if (text[start] != u'(' || text[start + 1] != u'\\') {
            continue;
        }
        const std::size_t objectEnd = text.find(u'\\', start + 2);
        if (objectEnd == std::u16string_view::npos) {
            continue;
        }
        const std::size_t counterEnd = text.find_first_of(u"\\)", objectEnd + 1);
        if (counterEnd != std::u16string_view::npos && text[counterEnd] == u')') {
            return Match{start, counterEnd + 1 - start};
        }
    }
    return std::nullopt;
}

// The regular-expression wildcard after the prefix takes any character but a line terminator.
bool isLineTerminator(char16_t c) {
    return c == u'\n' || c == u'\r' || c == u'\u2028' || c == u'\u2029';
}

// Leftmost match of ( PERFORMANCE_INFORMATION . [^\)]* ).
std::optional<Match> findPerformanceField(std::u16string_view text) {
    for (std::size_t start = text.find(kPerformanceFieldPrefix); start != std::u16string_view::npos;
         start = text.find(kPerformanceFieldPrefix, start + 1)) {
        const std::size_t anyCharacter = start + kPerformanceFieldPrefix.size();
        if (anyCharacter >= text.size() || isLineTerminator(text[anyCharacter])) {
            continue;
        }
        const std::size_t close = text.find(u')', anyCharacter + 1);
        if (close != std::u16string_view::npos) {
            return Match{start, close + 1 - start};
        }
    }
    return std::nullopt;
}

CounterReference makeReference(std::int32_t kind, std::u16string_view match) {
    CounterReference reference;
    reference.kind = kind;
    reference.path = std::u16string(match.substr(1, match.size() - 2));
    return reference;
}

}  // namespace

ReferenceMap extractReferences(std::u16string& text) {
    ReferenceMap references;
    unsigned char name = 'a';

    while (const auto match = findPerformanceCounter(text)) {
        const std::u16string matched = text.substr(match->position, match->length);
        // The leftmost match is also the first literal occurrence of its text.
        text.replace(match->position, match->length, 1, static_cast<char16_t>(name));
        references.insert_or_assign(std::string(1, static_cast<char>(name)),
                                    makeReference(CounterReference::PerformanceCounter, matched));
        ++name;
    }

    while (const auto match = findPerformanceField(text)) {
        const std::u16string matched = text.substr(match->position, match->length);
        const char16_t replacement = static_cast<char16_t>(name);
        for (std::size_t at = text.find(matched); at != std::u16string::npos;
             at = text.find(matched, at + 1)) {
            text.replace(at, matched.size(), 1, replacement);
        }
        references.insert_or_assign(std::string(1, static_cast<char>(name)),
                                    makeReference(CounterReference::PerformanceField, matched));
        ++name;
    }
    return references;
}

}  // namespace tavisto
