#pragma once
// Where each value of a JSON text lies: the byte offsets of its key and of its first
// character, by JSON pointer, and byte offsets turned into lines and columns.

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tavisto {

struct ValuePosition {
    std::size_t key = 0;    // the key's opening quote; the value's offset for array elements
    std::size_t value = 0;  // the value's first character
};

// Offsets by JSON pointer ("" for the document, "/meterGroups/0/name" and so on). The
// text must be one that the JSON library parsed within the configuration's nesting
// limit; deeper values are not recorded. Of duplicate keys the last one counts, as in
// the parsed document.
std::unordered_map<std::string, ValuePosition> recordValuePositions(std::string_view text);

// Appends a key to a JSON pointer, escaping "~" and "/".
void appendPointerToken(std::string& pointer, std::string_view key);

struct LineColumn {
    std::size_t line = 1;
    std::size_t column = 1;
};

// Lines and columns (1-based; columns count characters, not bytes) of byte offsets in
// one text. A byte-order mark takes no column; "\r\n", "\n" and a lone "\r" end lines.
class TextLines {
  public:
    explicit TextLines(std::string_view text);
    LineColumn at(std::size_t offset) const;

  private:
    std::string_view text_;
    std::vector<std::size_t> lineStarts_;
};

// Decodes the JSON string literal starting at the quote at `quote` and returns the byte
// offset in the text of its UTF-16 code unit `unit` (the closing quote when the
// literal is shorter).
std::size_t offsetOfStringUnit(std::string_view text, std::size_t quote, std::size_t unit);

}  // namespace tavisto
