#pragma once
// Parsing the configuration file's text with the bounds every program that reads it
// applies: the band, the companion and the checker refuse the same files.

#include <cstdint>
#include <stdexcept>
#include <string_view>

#include <nlohmann/json.hpp>

#include "config/json_positions.h"

namespace tavisto {

// Far beyond any real configuration; a larger file is refused before it is read. The
// limit is on the file's bytes, whatever their encoding: the size a user sees.
inline constexpr std::uint64_t kMaxConfigurationBytes = 1024 * 1024;
// Objects and arrays inside each other, the document itself counting as one level.
inline constexpr std::size_t kMaxConfigurationNesting = 64;

inline constexpr const char* kConfigurationTooLarge = "the configuration file is larger than 1 MiB";
inline constexpr const char* kConfigurationTooDeep =
    "the configuration nests objects and arrays deeper than 64 levels";

// Counts the band turns into windows, timers and queries; beyond them a document is
// refused at load. Explorer's quota of USER objects is shared by every program of the
// session, and each enabled group takes a tooltip window.
inline constexpr std::size_t kMaxEnabledGroups = 64;
inline constexpr std::size_t kMaxMeters = 512;
// Each distinct refresh rate takes a timer and a counter query.
inline constexpr std::size_t kMaxRefreshRates = 32;
// Reference names run by character code from "a" to the last one-byte code, 0xFF.
inline constexpr std::size_t kMaxCounterReferences = 0xFF - 'a' + 1;

// Each counter reference is a counter added to a query and read at every tick, and each
// counter of a graph keeps up to kMaxGraphSamples samples: the counts bound what the
// band adds to its queries and the graphs' history (16 MiB).
inline constexpr std::size_t kMaxCountersPerMeter = 64;
// The configuration may give a graph any width; a history never grows beyond a few
// screens.
inline constexpr std::size_t kMaxGraphSamples = 16384;
inline constexpr std::size_t kMaxReferencesPerFile = 1024;
inline constexpr std::size_t kMaxGraphHistoryBytes = 16 * 1024 * 1024;
inline constexpr std::size_t kMaxGraphCounters =
    kMaxGraphHistoryBytes / (kMaxGraphSamples * sizeof(double));

inline constexpr const char* kTooManyGroups = "the configuration enables more than 64 meter groups";
inline constexpr const char* kTooManyMeters = "the configuration has more than 512 meters";
inline constexpr const char* kTooManyRefreshRates =
    "the configuration uses more than 32 different refresh rates";
inline constexpr const char* kTooManyReferences =
    "a counter path holds more than 159 counter references";
inline constexpr const char* kTooManyCounters = "a meter has more than 64 counters";
inline constexpr const char* kTooManyReferencesInFile =
    "the configuration has more than 1024 counter references";
inline constexpr const char* kTooManyGraphCounters =
    "the configuration has more than 128 graph counters";

// The refusals of a file's encoding; each is followed by " (line L, column C)", in
// characters, of the first character that cannot be read.
inline constexpr const char* kNotUtf8Text = "the file is not UTF-8 text";
inline constexpr const char* kUnpairedSurrogate =
    "the file is UTF-16 text with an unpaired surrogate";
inline constexpr const char* kUtf16CutShort =
    "the file is UTF-16 text that ends in the middle of a character";
// The parser would take U+0000 for the end of the text, and whatever follows it would be
// read by no one: refused as UTF-8's NUL byte is.
inline constexpr const char* kUtf16Nul = "the file is UTF-16 text with a U+0000 character";

// A configuration refused for its size or shape rather than for its syntax.
class ConfigurationLimitError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A configuration refused for its encoding, with the place of its first unreadable
// character.
class ConfigurationEncodingError : public std::runtime_error {
  public:
    ConfigurationEncodingError(const char* refusal, LineColumn place);
    LineColumn place() const { return place_; }

  private:
    LineColumn place_;
};

enum class TextEncoding { Utf8, Utf16LittleEndian, Utf16BigEndian };

struct DecodedText {
    TextEncoding encoding = TextEncoding::Utf8;
    std::string_view utf8;  // the file's bytes themselves, or the converted text
};

// The file's bytes as UTF-8 text. A file that starts with a UTF-16 byte-order mark
// (little or big endian) is converted into `converted`, without its mark, and must hold
// no U+0000; any other file must be UTF-8 (with or without its mark) and hold no NUL byte,
// which is what UTF-16 without a mark looks like. Throws ConfigurationLimitError for a file over
// kMaxConfigurationBytes and ConfigurationEncodingError for one that cannot be read.
DecodedText decodeConfigurationText(std::string_view bytes, std::string& converted);

// Parses the file's bytes, decoded as above (a UTF-8 byte-order mark is white space).
// Throws as decodeConfigurationText does, the JSON library's parse_error for text that
// does not parse, and ConfigurationLimitError for nesting over kMaxConfigurationNesting
// levels; the nesting is refused while parsing, so no deep value is ever built.
nlohmann::json parseConfigurationText(std::string_view bytes);

// Parses text that decodeConfigurationText returned.
nlohmann::json parseDecodedConfigurationText(std::string_view utf8);

// Empties a document of bounded nesting, innermost values first, without allocating. The
// library's destructor gathers nested values into a vector it allocates, so a document
// destroyed while memory has run out would end the process.
void dismantleWithoutAllocating(nlohmann::json& document) noexcept;

}  // namespace tavisto
