#include "config/json_positions.h"

#include <algorithm>

#include "config/configuration_text.h"
#include "core/text_conversion.h"

namespace tavisto {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool isJsonSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Four hexadecimal digits at `at`, or -1.
long readHex4(std::string_view text, std::size_t at) {
    if (at + 4 > text.size()) {
        return -1;
    }
    long value = 0;
    for (std::size_t i = at; i < at + 4; ++i) {
        const int digit = hexValue(text[i]);
        if (digit < 0) {
            return -1;
        }
        value = value * 16 + digit;
    }
    return value;
}

// One character of a string literal at `at` (not the closing quote): how many bytes of
// the text it takes, how many UTF-16 units it decodes to, and its UTF-8 bytes.
struct LiteralCharacter {
    std::size_t bytes = 1;
    std::size_t units = 1;
};

LiteralCharacter decodeCharacter(std::string_view text, std::size_t at, std::string* out) {
    const char c = text[at];
    if (c != '\\') {
        const auto byte = static_cast<unsigned char>(c);
        // A four-byte sequence is a surrogate pair in UTF-16; continuation bytes add none.
        const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        const std::size_t taken = std::min(length, text.size() - at);
        if (out != nullptr) {
            out->append(text.substr(at, taken));
        }
        return {taken, length == 4 ? 2U : 1U};
    }
    if (at + 1 >= text.size()) {
        return {1, 1};
    }
    const char escaped = text[at + 1];
    if (escaped != 'u') {
        if (out != nullptr) {
            switch (escaped) {
                case 'b':
                    out->push_back('\b');
                    break;
                case 'f':
                    out->push_back('\f');
                    break;
                case 'n':
                    out->push_back('\n');
                    break;
                case 'r':
                    out->push_back('\r');
                    break;
                case 't':
                    out->push_back('\t');
                    break;
                default:
                    out->push_back(escaped);
                    break;
            }
        }
        return {2, 1};
    }
    const long unit = readHex4(text, at + 2);
    if (unit < 0) {
        return {2, 1};
    }
    if (unit >= 0xD800 && unit <= 0xDBFF && at + 7 < text.size() && text[at + 6] == '\\' &&
        text[at + 7] == 'u') {
        const long low = readHex4(text, at + 8);
        if (low >= 0xDC00 && low <= 0xDFFF) {
            if (out != nullptr) {
                appendUtf8(*out, static_cast<char32_t>(0x10000 + ((unit - 0xD800) << 10) +
                                                       (low - 0xDC00)));
            }
            return {12, 2};
        }
    }
    if (out != nullptr) {
        appendUtf8(*out, static_cast<char32_t>(unit));
    }
    return {6, 1};
}

class PositionScanner {
  public:
    PositionScanner(std::string_view text, std::unordered_map<std::string, ValuePosition>& out)
        : text_(text), out_(out) {}

    void scanDocument() {
        if (text_.starts_with(kByteOrderMark)) {
            at_ = kByteOrderMark.size();
        }
        skipSpace();
        std::string pointer;
        scanValue(pointer, at_, 1);
    }

  private:
    bool atEnd() const { return at_ >= text_.size(); }

    void skipSpace() {
        while (!atEnd() && isJsonSpace(text_[at_])) {
            ++at_;
        }
    }

    // At the opening quote; leaves the position after the closing quote.
    std::string readString() {
        std::string decoded;
        ++at_;
        while (!atEnd() && text_[at_] != '"') {
            at_ += decodeCharacter(text_, at_, &decoded).bytes;
        }
        ++at_;
        return decoded;
    }

    void skipString() {
        ++at_;
        while (!atEnd() && text_[at_] != '"') {
            at_ += text_[at_] == '\\' ? 2U : 1U;
        }
        ++at_;
    }

    // At an opening bracket; skips the whole object or array, recording nothing inside.
    void skipContainer() {
        std::size_t open = 0;
        while (!atEnd()) {
            const char c = text_[at_];
            if (c == '"') {
                skipString();
                continue;
            }
            ++at_;
            if (c == '{' || c == '[') {
                ++open;
            } else if ((c == '}' || c == ']') && --open == 0) {
                return;
            }
        }
    }

    void scanValue(std::string& pointer, std::size_t keyOffset, std::size_t depth) {
        if (atEnd()) {
            return;
        }
        out_[pointer] = ValuePosition{keyOffset, at_};
        const char c = text_[at_];
        if ((c == '{' || c == '[') && depth > kMaxConfigurationNesting) {
            skipContainer();
        } else if (c == '{') {
            scanObject(pointer, depth);
        } else if (c == '[') {
            scanArray(pointer, depth);
        } else if (c == '"') {
            skipString();
        } else {
            while (!atEnd() && text_[at_] != ',' && text_[at_] != '}' && text_[at_] != ']' &&
                   !isJsonSpace(text_[at_])) {
                ++at_;
            }
        }
    }

    void scanObject(std::string& pointer, std::size_t depth) {
        ++at_;
        skipSpace();
        while (!atEnd() && text_[at_] == '"') {
            const std::size_t keyOffset = at_;
            const std::string key = readString();
            skipSpace();
            ++at_;  // ':'
            skipSpace();
            const std::size_t length = pointer.size();
            appendPointerToken(pointer, key);
            scanValue(pointer, keyOffset, depth + 1);
            pointer.resize(length);
            if (!skipSeparator()) {
                break;
            }
        }
        ++at_;  // '}'
    }

    // After a member or element: true, past the comma, when another one follows.
    bool skipSeparator() {
        skipSpace();
        if (atEnd() || text_[at_] != ',') {
            return false;
        }
        ++at_;
        skipSpace();
        return true;
    }

    void scanArray(std::string& pointer, std::size_t depth) {
        ++at_;
        skipSpace();
        for (std::size_t index = 0; !atEnd() && text_[at_] != ']'; ++index) {
            const std::size_t length = pointer.size();
            pointer.push_back('/');
            pointer.append(std::to_string(index));
            scanValue(pointer, at_, depth + 1);
            pointer.resize(length);
            if (!skipSeparator()) {
                break;
            }
        }
        ++at_;  // ']'
    }

    std::string_view text_;
    std::unordered_map<std::string, ValuePosition>& out_;
    std::size_t at_ = 0;
};

}  // namespace

std::unordered_map<std::string, ValuePosition> recordValuePositions(std::string_view text) {
    std::unordered_map<std::string, ValuePosition> positions;
    PositionScanner(text, positions).scanDocument();
    return positions;
}

void appendPointerToken(std::string& pointer, std::string_view key) {
    pointer.push_back('/');
    for (const char c : key) {
        if (c == '~') {
            pointer.append("~0");
        } else if (c == '/') {
            pointer.append("~1");
        } else {
            pointer.push_back(c);
        }
    }
}

TextLines::TextLines(std::string_view text) : text_(text) {
    lineStarts_.push_back(text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool lineFeed = text[i] == '\n';
        const bool loneReturn = text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n');
        if (lineFeed || loneReturn) {
            lineStarts_.push_back(i + 1);
        }
    }
}

LineColumn TextLines::at(std::size_t offset) const {
    offset = std::min(offset, text_.size());
    const auto next = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset);
    const std::size_t line = static_cast<std::size_t>(next - lineStarts_.begin());
    const std::size_t start = line == 0 ? 0 : lineStarts_[line - 1];
    std::size_t column = 1;
    for (std::size_t i = start; i < offset; ++i) {
        // Every byte but a UTF-8 continuation byte starts a character.
        if ((static_cast<unsigned char>(text_[i]) & 0xC0) != 0x80) {
            ++column;
        }
    }
    return LineColumn{std::max<std::size_t>(line, 1), column};
}

std::size_t offsetOfStringUnit(std::string_view text, std::size_t quote, std::size_t unit) {
    std::size_t at = quote + 1;
    std::size_t units = 0;
    while (at < text.size() && text[at] != '"') {
        const LiteralCharacter character = decodeCharacter(text, at, nullptr);
        if (units + character.units > unit) {
            return at;
        }
        units += character.units;
        at += character.bytes;
    }
    return std::min(at, text.size());
}

}  // namespace tavisto
