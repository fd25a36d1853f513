#include "config/configuration_text.h"

#include <string>

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

}  // namespace

nlohmann::json parseConfigurationText(std::string_view text) {
    if (text.size() > kMaxConfigurationBytes) {
        throw ConfigurationLimitError(kConfigurationTooLarge);
    }
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
