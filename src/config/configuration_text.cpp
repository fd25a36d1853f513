#include "config/configuration_text.h"

#include <algorithm>
#include <span>
#include <string>

#include "core/text_conversion.h"

namespace tavisto {
namespace {

using nlohmann::json;
using DomBuilder = nlohmann::detail::json_sax_dom_parser<json>;

// The library's own document builder, refusing a level before it is built. The
// parser keeps its own stack, but copying, comparing and printing a value recurse once
// per level. (The parser callback would also bound the depth, but its builder searches
// the parent container for a discarded value after every object or array it closes:
// quadratic in the number of objects.)
class NestingBound : public nlohmann::json_sax<json> {
  public:
    explicit NestingBound(json& result) : builder_(result) {}

    bool null() override { return builder_.null(); }
    bool boolean(bool value) override { return builder_.boolean(value); }
    bool number_integer(number_integer_t value) override { return builder_.number_integer(value); }
    bool number_unsigned(number_unsigned_t value) override {
        return builder_.number_unsigned(value);
    }
    bool number_float(number_float_t value, const string_t& text) override {
        return builder_.number_float(value, text);
    }
    bool string(string_t& value) override { return builder_.string(value); }
    bool binary(binary_t& value) override { return builder_.binary(value); }
    bool key(string_t& value) override { return builder_.key(value); }

    bool start_object(std::size_t size) override {
        open();
        return builder_.start_object(size);
    }
    bool end_object() override {
        --depth_;
        return builder_.end_object();
    }
    bool start_array(std::size_t size) override {
        open();
        return builder_.start_array(size);
    }
    bool end_array() override {
        --depth_;
        return builder_.end_array();
    }

    // Throws the library's exception with its own type, as its own parse does: the
    // builder throws the type it is given.
    bool parse_error(std::size_t position, const std::string& token,
                     const nlohmann::detail::exception& error) override {
        if (const auto* syntax = dynamic_cast<const json::parse_error*>(&error)) {
            return builder_.parse_error(position, token, *syntax);
        }
        // The only other one the parser reports: a number too large for a double.
        return builder_.parse_error(position, token,
                                    dynamic_cast<const json::out_of_range&>(error));
    }

  private:
    void open() {
        if (depth_ >= kMaxConfigurationNesting) {
            throw ConfigurationLimitError(kConfigurationTooDeep);
        }
        ++depth_;
    }

    DomBuilder builder_;
    std::size_t depth_ = 0;
};

std::string placed(const char* refusal, LineColumn place) {
    return std::string(refusal) + " (line " + std::to_string(place.line) + ", column " +
           std::to_string(place.column) + ")";
}

// The place just after the text converted so far: that of the character that failed.
[[noreturn]] void refuseAtEnd(const char* refusal, const std::string& converted) {
    const std::size_t end = converted.size();
    throw ConfigurationEncodingError(refusal, placeOffsets(converted, std::span(&end, 1))[0]);
}

void convertUtf16(std::string_view bytes, bool bigEndian, std::string& converted) {
    converted.clear();
    converted.reserve(bytes.size() / 2 * 3);
    const auto unitAt = [&](std::size_t at) {
        const auto first = static_cast<unsigned char>(bytes[at]);
        const auto second = static_cast<unsigned char>(bytes[at + 1]);
        return static_cast<char16_t>(bigEndian ? first << 8 | second : second << 8 | first);
    };
    const std::size_t units = bytes.size() / 2;
    for (std::size_t i = 1; i < units; ++i) {  // the mark is unit 0
        char32_t codePoint = unitAt(2 * i);
        if (codePoint >= 0xD800 && codePoint <= 0xDBFF && i + 1 < units) {
            const char16_t low = unitAt(2 * (i + 1));
            if (low >= 0xDC00 && low <= 0xDFFF) {
                codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (codePoint >= 0xD800 && codePoint <= 0xDFFF) {
            refuseAtEnd(kUnpairedSurrogate, converted);
        }
        if (codePoint == 0) {
            refuseAtEnd(kUtf16Nul, converted);
        }
        appendUtf8(converted, codePoint);
    }
    if (bytes.size() % 2 != 0) {
        refuseAtEnd(kUtf16CutShort, converted);
    }
}

}  // namespace

ConfigurationEncodingError::ConfigurationEncodingError(const char* refusal, LineColumn place)
    : std::runtime_error(placed(refusal, place)), place_(place) {}

DecodedText decodeConfigurationText(std::string_view bytes, std::string& converted) {
    if (bytes.size() > kMaxConfigurationBytes) {
        throw ConfigurationLimitError(kConfigurationTooLarge);
    }
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
        const bool bigEndian = bytes[0] == '\xFE';
        convertUtf16(bytes, bigEndian, converted);
        return {bigEndian ? TextEncoding::Utf16BigEndian : TextEncoding::Utf16LittleEndian,
                converted};
    }
    const std::size_t bad = std::min(firstInvalidUtf8(bytes), bytes.find('\0'));
    if (bad != std::string_view::npos) {
        throw ConfigurationEncodingError(kNotUtf8Text, placeOffsets(bytes, std::span(&bad, 1))[0]);
    }
    return {TextEncoding::Utf8, bytes};
}

nlohmann::json parseConfigurationText(std::string_view bytes) {
    std::string converted;
    return parseDecodedConfigurationText(decodeConfigurationText(bytes, converted).utf8);
}

nlohmann::json parseDecodedConfigurationText(std::string_view text) {
    json document;
    try {
        NestingBound builder(document);
        json::sax_parse(text.begin(), text.end(), &builder);
    } catch (...) {
        // A half-built document may be given up because memory ran out.
        dismantleWithoutAllocating(document);
        throw;
    }
    return document;
}

void dismantleWithoutAllocating(nlohmann::json& document) noexcept {
    if (document.is_array()) {
        auto& items = document.get_ref<json::array_t&>();
        while (!items.empty()) {
            dismantleWithoutAllocating(items.back());
            items.pop_back();
        }
    } else if (document.is_object()) {
        auto& members = document.get_ref<json::object_t&>();
        while (!members.empty()) {
            dismantleWithoutAllocating(members.begin()->second);
            members.erase(members.begin());
        }
    }
}

}  // namespace tavisto
