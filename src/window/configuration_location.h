#pragma once
// Where the configuration and the programs the band starts are, and reading the
// configuration file.

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace tavisto::window {

inline constexpr wchar_t kConfigurationFileName[] = L"TavistoConfig.json";

// The module path and "<roaming application data>\Tavisto\", formed once per process.
// Every band object gets the same values, so they are computed on first use and never
// rewritten while the watcher thread of another band object reads them.
const std::wstring& modulePath() noexcept;
const std::wstring& configurationFolder() noexcept;

// The configuration folder followed by "\TavistoConfig.json".
std::wstring configurationFile();

// The parsed configuration file; nothing when it is missing, unreadable or malformed.
std::optional<nlohmann::json> readConfiguration(const std::wstring& path) noexcept;

struct Launch {
    std::wstring program;
    std::wstring workingFolder;  // empty: none
};

// "<system folder>\Taskmgr.exe", started without a working folder.
Launch taskManagerLaunch();

// "Tavisto.exe" in the module's folder, started there. The folder is everything before
// the last "\" or "/" of the module path, or the whole path when it holds neither.
Launch companionLaunch(const std::wstring& module);

}  // namespace tavisto::window
