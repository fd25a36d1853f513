#pragma once
// Where the configuration and the programs the band starts are, and reading the
// configuration file.

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace tavisto::window {

inline constexpr wchar_t kConfigurationFileName[] = L"TavistoConfig.json";

// The module path and "<roaming application data>\Tavisto\", formed once per process.
// Every band object gets the same values, so they are computed on first use and never
// rewritten while the watcher thread of another band object reads them. Either is empty
// when it cannot be formed; without a configuration folder the band reads and watches
// nothing.
const std::wstring& modulePath() noexcept;
const std::wstring& configurationFolder() noexcept;

// "<appData>\Tavisto\"; empty when `appData` is.
std::wstring configurationFolderIn(std::wstring_view appData);

// "TavistoConfig.json" in a folder, with one separator between them whether or not the
// folder ends in one; empty for an empty folder. The one way every program forms it.
std::wstring configurationFileIn(std::wstring_view folder);

// The configuration file in the configuration folder; empty without a folder.
std::wstring configurationFile();

// The configuration file's text; nothing when it is missing, unreadable or larger than
// kMaxConfigurationBytes (refused from its size, unread).
std::optional<std::string> readConfigurationText(const std::wstring& path) noexcept;

// The configuration text parsed; nothing when it is nested too deeply or malformed.
std::optional<nlohmann::json> parseConfiguration(std::string_view text) noexcept;

// The parsed configuration file; nothing when it is missing, unreadable, larger than
// kMaxConfigurationBytes (refused from its size, unread), nested too deeply or malformed.
std::optional<nlohmann::json> readConfiguration(const std::wstring& path) noexcept;

struct Launch {
    std::wstring program;
    std::wstring workingFolder;  // empty: none
};

// "<system folder>\Taskmgr.exe", started without a working folder; nothing when the
// system folder cannot be read.
std::optional<Launch> taskManagerLaunch();
std::optional<Launch> taskManagerIn(std::wstring_view systemFolder);

// "Tavisto.exe" in the module's folder, started there. The folder is everything before
// the last "\" or "/" of the module path, or the whole path when it holds neither;
// nothing when the module path is empty.
std::optional<Launch> companionLaunch(const std::wstring& module);

}  // namespace tavisto::window
