#pragma once
// Parsing the configuration file's text with the bounds every program that reads it
// applies: the band, the companion and the checker refuse the same files.

#include <cstdint>
#include <stdexcept>
#include <string_view>

#include <nlohmann/json.hpp>

namespace tavisto {

// Far beyond any real configuration; a larger file is refused before it is read.
inline constexpr std::uint64_t kMaxConfigurationBytes = 1024 * 1024;
// Objects and arrays inside each other, the document itself counting as one level.
inline constexpr std::size_t kMaxConfigurationNesting = 64;

inline constexpr const char* kConfigurationTooLarge = "the configuration file is larger than 1 MiB";
inline constexpr const char* kConfigurationTooDeep =
    "the configuration nests objects and arrays deeper than 64 levels";

// A configuration refused for its size or shape rather than for its syntax.
class ConfigurationLimitError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Parses the file's bytes (a UTF-8 byte-order mark is white space). Throws the JSON
// library's parse_error for text that does not parse, and ConfigurationLimitError for
// text over kMaxConfigurationBytes or nesting over kMaxConfigurationNesting levels;
// the nesting is refused while parsing, so no deep value is ever built.
nlohmann::json parseConfigurationText(std::string_view text);

}  // namespace tavisto
