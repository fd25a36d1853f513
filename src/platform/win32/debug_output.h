#pragma once
// The failure reporter of a Windows host: one line per report in the debugger's output
// ("Tavisto: <where>: <what>"), which DebugView and an attached debugger show. The line
// is formed in a fixed buffer, so a report out of memory still goes out; a longer one is
// cut.

#include <cstddef>
#include <string_view>

namespace tavisto::win32 {

void reportToDebugOutput(std::string_view where, std::string_view what) noexcept;

// The line reportToDebugOutput sends, in `line` of `capacity` characters (at least 1),
// always ended by a line break and a null; returns its length without the null.
std::size_t formatDebugLine(std::string_view where, std::string_view what, wchar_t* line,
                            std::size_t capacity) noexcept;

}  // namespace tavisto::win32
