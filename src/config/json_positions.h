#pragma once
// Where each value of a JSON text lies: the byte offsets of its key and of its first
// character, found by the path from the document to the value, and byte offsets turned
// into lines and columns. Built for texts of hostile shape too: the cost of recording
// is linear in the text, and a path costs only the steps that name it.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavisto {

struct ValuePosition {
    std::size_t key = 0;    // the key's opening quote; the value's offset for array elements
    std::size_t value = 0;  // the value's first character
};

// One step from the document to a value: a member's key or an element's index. A path
// is a chain of steps through their parents, each living on the stack of whoever walks
// the document, so a long key is never copied into the paths below it. The key must
// outlive the step.
class JsonPath {
  public:
    JsonPath() = default;  // the document itself
    JsonPath(const JsonPath& parent, std::string_view key) : parent_(&parent), key_(key) {}
    JsonPath(const JsonPath& parent, std::size_t index)
        : parent_(&parent), index_(index), element_(true) {}
    // Steps below this one point to it.
    JsonPath(const JsonPath&) = delete;
    JsonPath& operator=(const JsonPath&) = delete;

    // The JSON pointer ("" for the document, "/meterGroups/0/name" and so on), cut to
    // `characters` characters followed by "…" when it is longer.
    std::string pointer(std::size_t characters) const;

  private:
    friend class ValuePositions;
    static constexpr std::uint32_t kUnresolved = 0xFFFFFFFF;

    const JsonPath* parent_ = nullptr;
    std::string_view key_;
    std::size_t index_ = 0;
    bool element_ = false;
    // The value this step names in the positions that resolved it last.
    mutable std::uint32_t node_ = kUnresolved;
};

// The positions of every value of a text that the JSON library parsed within the
// configuration's nesting limit (deeper values are not recorded). Of duplicate keys the
// last one counts, as in the parsed document. Recording takes one pass over the text
// and about twenty bytes per value; a path is resolved once per step, in logarithmic
// time for members and constant time for elements.
class ValuePositions {
  public:
    explicit ValuePositions(std::string_view text);

    // Where the value at `path` lies; offset 0 for both when the text has no such value.
    // Paths are resolved against one positions object only.
    ValuePosition of(const JsonPath& path) const;

  private:
    friend class PositionScanner;
    struct Node {
        std::uint32_t key = 0;
        std::uint32_t value = 0;
        std::uint32_t firstChild = 0;  // children are contiguous in nodes_
        std::uint32_t childCount = 0;  // an object's are ordered by key hash, then offset
        std::uint32_t keyHash = 0;     // of the decoded key, for members
    };
    static constexpr std::uint32_t kRoot = 0;
    static constexpr std::uint32_t kAbsent = 0xFFFFFFFE;

    std::uint32_t resolve(const JsonPath& path) const;
    std::uint32_t member(const Node& object, std::string_view key) const;
    bool keyEquals(const Node& member, std::string_view key) const;

    std::string_view text_;
    std::vector<Node> nodes_;  // the document first
};

// The text cut to `characters` characters (UTF-8 sequences kept whole) followed by "…"
// when it is longer.
std::string cutToCharacters(std::string_view text, std::size_t characters);

struct LineColumn {
    std::size_t line = 1;
    std::size_t column = 1;
};

// Lines and columns (1-based; columns count characters, not bytes) of byte offsets in
// ascending order, in one pass over the text up to the last of them. A byte-order mark
// takes no column; "\r\n", "\n" and a lone "\r" end lines.
std::vector<LineColumn> placeOffsets(std::string_view text, std::span<const std::size_t> ascending);

// Decodes the JSON string literal starting at the quote at `quote` and returns the byte
// offset in the text of its UTF-16 code unit `unit` (the closing quote when the
// literal is shorter).
std::size_t offsetOfStringUnit(std::string_view text, std::size_t quote, std::size_t unit);

}  // namespace tavisto
