#include "config/json_positions.h"

#include <algorithm>
#include <utility>

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

constexpr std::uint32_t kFnvOffset = 2166136261U;
constexpr std::uint32_t kFnvPrime = 16777619U;

std::uint32_t hashBytes(std::uint32_t hash, std::string_view bytes) {
    for (const char c : bytes) {
        hash = (hash ^ static_cast<unsigned char>(c)) * kFnvPrime;
    }
    return hash;
}

// The hash of a decoded key that an object's members are ordered by.
std::uint32_t keyHash(std::string_view key) {
    return hashBytes(kFnvOffset, key);
}

}  // namespace

// Records every value in two passes over the text: the first counts the children of
// each object and array (numbered in the order they open), which gives each container a
// block of contiguous nodes; the second writes every value into its place. The nodes
// take exactly what they need, with no copy of a container's children on the way.
class PositionScanner {
  public:
    using Node = ValuePositions::Node;

    PositionScanner(std::string_view text, std::vector<Node>& nodes) : text_(text), nodes_(nodes) {}

    void scanDocument() {
        scan();  // counts
        // Each container's count becomes the first node of its block.
        std::uint32_t next = 1;
        for (std::uint32_t& block : blocks_) {
            next += std::exchange(block, next);
        }
        nodes_.assign(next, Node{});
        placing_ = true;
        scan();
        blocks_ = {};
    }

  private:
    static std::uint32_t offset(std::size_t at) { return static_cast<std::uint32_t>(at); }

    void scan() {
        at_ = text_.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
        containers_ = 0;
        skipSpace();
        if (!placing_) {
            scanValue(nullptr, 1);
            return;
        }
        nodes_[0] = Node{offset(at_), offset(at_), 0, 0, 0};
        scanValue(&nodes_[0], 1);
    }

    bool atEnd() const { return at_ >= text_.size(); }

    void skipSpace() {
        while (!atEnd() && isJsonSpace(text_[at_])) {
            ++at_;
        }
    }

    // At the opening quote; leaves the position after the closing quote and returns the
    // hash of the decoded text.
    std::uint32_t readKey() {
        std::uint32_t hash = kFnvOffset;
        ++at_;
        while (!atEnd() && text_[at_] != '"') {
            decoded_.clear();
            at_ += decodeCharacter(text_, at_, &decoded_).bytes;
            hash = hashBytes(hash, decoded_);
        }
        ++at_;
        return hash;
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

    // Scans the value at the position; `self` is its node while placing, else null.
    void scanValue(Node* self, std::size_t depth) {
        if (atEnd()) {
            return;
        }
        const char c = text_[at_];
        if ((c == '{' || c == '[') && depth > kMaxConfigurationNesting) {
            skipContainer();
        } else if (c == '{' || c == '[') {
            const std::uint32_t number = containers_++;
            if (!placing_) {
                blocks_.push_back(0);
            }
            const std::uint32_t first = placing_ ? blocks_[number] : 0;
            const std::uint32_t count =
                c == '{' ? scanObject(number, first, depth) : scanArray(number, first, depth);
            if (placing_) {
                self->firstChild = first;
                self->childCount = count;
                if (c == '{') {
                    // Equal keys stay in text order: the last one is the one that counts.
                    std::stable_sort(
                        nodes_.begin() + first, nodes_.begin() + first + count,
                        [](const Node& a, const Node& b) { return a.keyHash < b.keyHash; });
                }
            }
        } else if (c == '"') {
            skipString();
        } else {
            while (!atEnd() && text_[at_] != ',' && text_[at_] != '}' && text_[at_] != ']' &&
                   !isJsonSpace(text_[at_])) {
                ++at_;
            }
        }
    }

    // A child of container `number` whose block starts at `first`: counted, or placed
    // and scanned. Returns the next child's index.
    std::uint32_t child(std::uint32_t number, std::uint32_t first, std::uint32_t index,
                        const Node& node, std::size_t depth) {
        if (!placing_) {
            ++blocks_[number];
            scanValue(nullptr, depth + 1);
        } else {
            nodes_[first + index] = node;
            scanValue(&nodes_[first + index], depth + 1);
        }
        return index + 1;
    }

    std::uint32_t scanObject(std::uint32_t number, std::uint32_t first, std::size_t depth) {
        ++at_;
        skipSpace();
        std::uint32_t count = 0;
        while (!atEnd() && text_[at_] == '"') {
            const std::size_t keyOffset = at_;
            std::uint32_t hash = 0;
            if (placing_) {
                hash = readKey();
            } else {
                skipString();
            }
            skipSpace();
            ++at_;  // ':'
            skipSpace();
            count = child(number, first, count, Node{offset(keyOffset), offset(at_), 0, 0, hash},
                          depth);
            if (!skipSeparator()) {
                break;
            }
        }
        ++at_;  // '}'
        return count;
    }

    std::uint32_t scanArray(std::uint32_t number, std::uint32_t first, std::size_t depth) {
        ++at_;
        skipSpace();
        std::uint32_t count = 0;
        while (!atEnd() && text_[at_] != ']') {
            count = child(number, first, count, Node{offset(at_), offset(at_), 0, 0, 0}, depth);
            if (!skipSeparator()) {
                break;
            }
        }
        ++at_;  // ']'
        return count;
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

    std::string_view text_;
    std::vector<Node>& nodes_;
    bool placing_ = false;
    // By container number: the count of its children, then the first node of its block.
    std::vector<std::uint32_t> blocks_;
    std::uint32_t containers_ = 0;
    std::string decoded_;
    std::size_t at_ = 0;
};

ValuePositions::ValuePositions(std::string_view text) : text_(text) {
    PositionScanner(text, nodes_).scanDocument();
}

ValuePosition ValuePositions::of(const JsonPath& path) const {
    const std::uint32_t node = resolve(path);
    if (node == kAbsent) {
        return {};
    }
    return ValuePosition{nodes_[node].key, nodes_[node].value};
}

std::uint32_t ValuePositions::resolve(const JsonPath& path) const {
    if (path.node_ != JsonPath::kUnresolved) {
        return path.node_;
    }
    std::uint32_t node = kRoot;
    if (path.parent_ != nullptr) {
        const std::uint32_t parent = resolve(*path.parent_);
        if (parent == kAbsent) {
            node = kAbsent;
        } else {
            const Node& container = nodes_[parent];
            const char opening = text_[container.value];
            if (path.element_) {
                node = opening == '[' && path.index_ < container.childCount
                           ? container.firstChild + static_cast<std::uint32_t>(path.index_)
                           : kAbsent;
            } else {
                node = opening == '{' ? member(container, path.key_) : kAbsent;
            }
        }
    }
    path.node_ = node;
    return node;
}

std::uint32_t ValuePositions::member(const Node& object, std::string_view key) const {
    const auto first = nodes_.begin() + object.firstChild;
    const auto last = first + object.childCount;
    const std::uint32_t hash = keyHash(key);
    const auto [from, to] =
        std::equal_range(first, last, Node{0, 0, 0, 0, hash},
                         [](const Node& a, const Node& b) { return a.keyHash < b.keyHash; });
    // The last of equal keys counts.
    for (auto candidate = to; candidate != from;) {
        --candidate;
        if (keyEquals(*candidate, key)) {
            return static_cast<std::uint32_t>(candidate - nodes_.begin());
        }
    }
    return kAbsent;
}

bool ValuePositions::keyEquals(const Node& member, std::string_view key) const {
    std::size_t at = member.key + 1;
    std::size_t matched = 0;
    std::string decoded;
    while (at < text_.size() && text_[at] != '"') {
        decoded.clear();
        at += decodeCharacter(text_, at, &decoded).bytes;
        if (key.substr(matched, decoded.size()) != decoded) {
            return false;
        }
        matched += decoded.size();
    }
    return matched == key.size();
}

std::string JsonPath::pointer(std::size_t characters) const {
    std::vector<const JsonPath*> steps;
    for (const JsonPath* step = this; step->parent_ != nullptr; step = step->parent_) {
        steps.push_back(step);
    }
    // Enough bytes for the characters kept and one more, to tell that some were cut.
    const std::size_t enough = 4 * (characters + 1);
    std::string pointer;
    for (auto step = steps.rbegin(); step != steps.rend() && pointer.size() < enough; ++step) {
        pointer.push_back('/');
        if ((*step)->element_) {
            pointer.append(std::to_string((*step)->index_));
            continue;
        }
        for (const char c : (*step)->key_) {
            if (pointer.size() >= enough) {
                break;
            }
            if (c == '~') {
                pointer.append("~0");
            } else if (c == '/') {
                pointer.append("~1");
            } else {
                pointer.push_back(c);
            }
        }
    }
    return cutToCharacters(pointer, characters);
}

std::string cutToCharacters(std::string_view text, std::size_t characters) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        // Every byte but a UTF-8 continuation byte starts a character.
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && count++ == characters) {
            return std::string(text.substr(0, i)) + "\xE2\x80\xA6";
        }
    }
    return std::string(text);
}

std::vector<LineColumn> placeOffsets(std::string_view text,
                                     std::span<const std::size_t> ascending) {
    std::vector<LineColumn> places;
    places.reserve(ascending.size());
    LineColumn place;
    std::size_t at = text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
    for (const std::size_t wanted : ascending) {
        const std::size_t target = std::min(wanted, text.size());
        for (; at < target; ++at) {
            const char c = text[at];
            const bool lineFeed = c == '\n';
            const bool loneReturn = c == '\r' && (at + 1 == text.size() || text[at + 1] != '\n');
            if (lineFeed || loneReturn) {
                ++place.line;
                place.column = 1;
            } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
                ++place.column;
            }
        }
        places.push_back(place);
    }
    return places;
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
