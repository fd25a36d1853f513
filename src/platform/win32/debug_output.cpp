#include "platform/win32/debug_output.h"

#include <windows.h>

#include <algorithm>

namespace tavisto::win32 {
namespace {

// Appends the UTF-8 `text` as UTF-16, as much of it as fits before `limit`.
wchar_t* appendUtf8(std::string_view text, wchar_t* at, wchar_t* limit) noexcept {
    if (text.empty() || at >= limit) {
        return at;
    }
    // UTF-8 takes at least as many bytes as UTF-16 takes units: that many bytes fit. A
    // sequence cut in two becomes one replacement character.
    const std::ptrdiff_t room = std::min<std::ptrdiff_t>(limit - at, 0x10000);
    const auto bytes = std::min<std::size_t>(text.size(), static_cast<std::size_t>(room));
    const int written = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(bytes), at,
                                            static_cast<int>(room));
    return at + std::max(written, 0);
}

wchar_t* appendWide(const wchar_t* text, wchar_t* at, wchar_t* limit) noexcept {
    for (; *text != L'\0' && at < limit; ++text) {
        *at++ = *text;
    }
    return at;
}

}  // namespace

std::size_t formatDebugLine(std::string_view where, std::string_view what, wchar_t* line,
                            std::size_t capacity) noexcept {
    // Room is kept for the line break and the null.
    wchar_t* const limit = line + (capacity >= 2 ? capacity - 2 : 0);
    wchar_t* at = appendWide(L"Tavisto: ", line, limit);
    at = appendUtf8(where, at, limit);
    at = appendWide(L": ", at, limit);
    at = appendUtf8(what, at, limit);
    if (capacity >= 2) {
        *at++ = L'\n';
    }
    *at = L'\0';
    return static_cast<std::size_t>(at - line);
}

void reportToDebugOutput(std::string_view where, std::string_view what) noexcept {
    wchar_t line[512];
    formatDebugLine(where, what, line, std::size(line));
    OutputDebugStringW(line);
}

}  // namespace tavisto::win32
