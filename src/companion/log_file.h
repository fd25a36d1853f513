#pragma once
// The companion's small log: "%LOCALAPPDATA%\Tavisto\Tavisto.log", one line per event,
// started afresh before it would pass its size limit.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavisto::companion {

// Past this size the file is emptied before the next line: it stays under 1 MB.
inline constexpr std::uint64_t kLogLimitBytes = 512 * 1024;
// A line's time and text take at most this many bytes: a longer text is cut short.
inline constexpr std::size_t kLogLineBytes = 1024;

// "<local application data>\Tavisto\Tavisto.log"; empty when that folder is unknown.
std::wstring logFilePath();

// Appends "<UTC time> <line>" to `path`, creating its folder; failures are silent.
void appendLogLine(const std::wstring& path, const std::wstring& line) noexcept;

// appendLogLine to logFilePath().
void log(const std::wstring& line) noexcept;

// The companion's failure reporter: the debugger's output, and a line in the log.
void reportToDebugOutputAndLog(std::string_view where, std::string_view what) noexcept;

}  // namespace tavisto::companion
