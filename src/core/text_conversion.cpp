#include "core/text_conversion.h"

#include <locale.h>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <stdexcept>
#include <utility>

namespace tavisto {
namespace {

[[noreturn]] void badConversion() {
    throw std::range_error("bad conversion");
}

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0u) == 0x80u;
}

void appendUtf16(std::u16string& out, char32_t codePoint) {
    if (codePoint < 0x10000) {
        out.push_back(static_cast<char16_t>(codePoint));
        return;
    }
    const char32_t offset = codePoint - 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (offset >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
}

}  // namespace

std::size_t decodeUtf8(std::string_view utf8, std::size_t at, char32_t& codePoint) {
    const auto lead = static_cast<unsigned char>(utf8[at]);
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    std::size_t length = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0u) == 0xC0u) {
        length = 2;
        codePoint = lead & 0x1Fu;
        minimum = 0x80;
    } else if ((lead & 0xF0u) == 0xE0u) {
        length = 3;
        codePoint = lead & 0x0Fu;
        minimum = 0x800;
    } else if ((lead & 0xF8u) == 0xF0u) {
        length = 4;
        codePoint = lead & 0x07u;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (utf8.size() - at < length) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const auto byte = static_cast<unsigned char>(utf8[at + k]);
        if (!isContinuation(byte)) {
            return 0;
        }
        codePoint = (codePoint << 6) | (byte & 0x3Fu);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF ||
        (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        return 0;
    }
    return length;
}

std::u16string utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        char32_t codePoint = 0;
        const std::size_t length = decodeUtf8(utf8, i, codePoint);
        if (length == 0) {
            badConversion();
        }
        appendUtf16(out, codePoint);
        i += length;
    }
    return out;
}

std::size_t firstInvalidUtf8(std::string_view utf8) {
    char32_t codePoint = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        const std::size_t length = decodeUtf8(utf8, i, codePoint);
        if (length == 0) {
            return i;
        }
        i += length;
    }
    return std::string_view::npos;
}

bool shownAsCodePoint(char32_t c) {
    // Sorted, inclusive ranges.
    static constexpr std::pair<char32_t, char32_t> kShown[] = {
        {0x0000, 0x0008}, {0x000A, 0x001F},   {0x007F, 0x009F},   {0x00AD, 0x00AD},
        {0x034F, 0x034F}, {0x061C, 0x061C},   {0x115F, 0x1160},   {0x17B4, 0x17B5},
        {0x180B, 0x180F}, {0x200B, 0x200F},   {0x2028, 0x202E},   {0x2060, 0x206F},
        {0x3164, 0x3164}, {0xFE00, 0xFE0F},   {0xFEFF, 0xFEFF},   {0xFFA0, 0xFFA0},
        {0xFFF0, 0xFFFB}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0000, 0xE0FFF},
    };
    const auto after =
        std::upper_bound(std::begin(kShown), std::end(kShown), c,
                         [](char32_t value, const std::pair<char32_t, char32_t>& range) {
                             return value < range.first;
                         });
    return after != std::begin(kShown) && c <= std::prev(after)->second;
}

std::string printableText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t codePoint = 0;
        const std::size_t length = decodeUtf8(text, i, codePoint);
        if (length == 0) {
            appendUtf8(out, U'\uFFFD');
            ++i;
            continue;
        }
        if (shownAsCodePoint(codePoint)) {
            static constexpr char kHex[] = "0123456789ABCDEF";
            out += "<U+";
            int shift = codePoint > 0xFFFF ? (codePoint > 0xFFFFF ? 20 : 16) : 12;
            for (; shift >= 0; shift -= 4) {
                out.push_back(kHex[(codePoint >> shift) & 0xF]);
            }
            out += '>';
        } else {
            out.append(text.substr(i, length));
        }
        i += length;
    }
    return out;
}

std::string_view utf8Prefix(std::string_view utf8, std::size_t bytes) {
    if (bytes >= utf8.size()) {
        return utf8;
    }
    // Back from the first byte left out to the start of its character: at most three
    // continuation bytes precede a character's last byte.
    std::size_t end = bytes;
    while (end > 0 && bytes - end < 3 && isContinuation(static_cast<unsigned char>(utf8[end]))) {
        --end;
    }
    return isContinuation(static_cast<unsigned char>(utf8[end])) ? utf8.substr(0, bytes)
                                                                 : utf8.substr(0, end);
}

void appendUtf8(std::string& out, char32_t codePoint) {
    if (codePoint < 0x80) {
        out.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

std::string utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t codePoint = utf16[i];
        if (codePoint >= 0xD800 && codePoint <= 0xDBFF) {
            if (i + 1 >= utf16.size() || utf16[i + 1] < 0xDC00 || utf16[i + 1] > 0xDFFF) {
                badConversion();
            }
            codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        } else if (codePoint >= 0xDC00 && codePoint <= 0xDFFF) {
            badConversion();
        }
        appendUtf8(out, codePoint);
    }
    return out;
}

namespace {

// The "C" locale, created once per load of the module and freed at its unload. At
// namespace scope rather than function-local, whose guard would leak a semaphore per
// load under MinGW's win32 thread model.
class CLocale {
  public:
#ifdef _WIN32
    CLocale() : handle_(_create_locale(LC_ALL, "C")) {}
    ~CLocale() {
        _free_locale(handle_);
    }
    _locale_t get() const {
        return handle_;
    }

  private:
    _locale_t handle_;
#else
    CLocale() : handle_(newlocale(LC_ALL_MASK, "C", locale_t{})) {}
    ~CLocale() {
        freelocale(handle_);
    }
    locale_t get() const {
        return handle_;
    }

  private:
    locale_t handle_;
#endif
    CLocale(const CLocale&) = delete;
    CLocale& operator=(const CLocale&) = delete;
};

const CLocale cLocale;

}  // namespace

double strtodC(const char* text, char** end) noexcept {
#ifdef _WIN32
    return _strtod_l(text, end, cLocale.get());
#else
    return strtod_l(text, end, cLocale.get());
#endif
}

double stodC(const std::string& text) {
    const char* begin = text.c_str();
    char* end = nullptr;
    const int savedErrno = errno;
    errno = 0;
    const double value = strtodC(begin, &end);
    const int conversionErrno = errno;
    errno = savedErrno;
    if (end == begin) {
        throw std::invalid_argument("invalid stod argument");
    }
    if (conversionErrno == ERANGE) {
        throw std::out_of_range("stod argument out of range");
    }
    return value;
}

}  // namespace tavisto
