#include "core/texts.h"

#include <algorithm>
#include <cctype>

namespace tavisto {
namespace {

char lowerAscii(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// "de-AT" and "de_at" as "de-at".
std::string normalisedTag(std::string_view tag) {
    std::string normalised(tag.substr(0, 85));  // the longest tag Windows names
    std::transform(normalised.begin(), normalised.end(), normalised.begin(),
                   [](char c) { return c == '_' ? '-' : lowerAscii(c); });
    return normalised;
}

bool sameTag(std::string_view left, std::string_view right) {
    return normalisedTag(left) == normalisedTag(right);
}

const TextTable* tableTagged(std::string_view tag) {
    const auto table = std::find_if(kTextTables.begin(), kTextTables.end(),
                                    [&](const TextTable& t) { return sameTag(t.tag, tag); });
    return table == kTextTables.end() ? nullptr : &*table;
}

// By the script when the tag names it, else by the region.
bool writtenInTraditionalCharacters(std::string_view chinese) {
    if (chinese.find("-hans") != std::string_view::npos) {
        return false;
    }
    for (const std::string_view subtag : {"-hant", "-tw", "-hk", "-mo"}) {
        if (chinese.find(subtag) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace

const TextTable& englishTexts() {
    return kTextTables.front();
}

const TextTable* textsFor(std::string_view tag) {
    if (const TextTable* exact = tableTagged(tag)) {
        return exact;
    }
    const std::string normalised = normalisedTag(tag);
    const std::string_view language = std::string_view(normalised).substr(0, normalised.find('-'));
    if (language == "zh") {
        return writtenInTraditionalCharacters(normalised) ? nullptr : tableTagged("zh-CN");
    }
    if (language == "pt") {
        return tableTagged("pt-BR");
    }
    return language.empty() || language == "qps" ? nullptr : tableTagged(language);
}

const TextTable& chooseTexts(std::string_view configured, std::span<const std::string> preferred) {
    if (const TextTable* table = textsFor(configured)) {
        return *table;
    }
    for (const std::string& tag : preferred) {
        if (const TextTable* table = textsFor(tag)) {
            return *table;
        }
    }
    return englishTexts();
}

std::u16string fillText(std::u16string_view pattern,
                        std::initializer_list<TextArgument> arguments) {
    std::u16string text;
    text.reserve(pattern.size());
    std::size_t at = 0;
    while (at < pattern.size()) {
        const std::size_t open = pattern.find(u'{', at);
        const std::size_t close =
            open == std::u16string_view::npos ? open : pattern.find(u'}', open);
        if (close == std::u16string_view::npos) {
            break;
        }
        text.append(pattern.substr(at, open - at));
        const std::u16string_view name = pattern.substr(open + 1, close - open - 1);
        const auto argument = std::find_if(arguments.begin(), arguments.end(),
                                           [&](const TextArgument& a) { return a.name == name; });
        text.append(argument == arguments.end() ? pattern.substr(open, close + 1 - open)
                                                : argument->value);
        at = close + 1;
    }
    text.append(pattern.substr(std::min(at, pattern.size())));
    return text;
}

}  // namespace tavisto
