#pragma once
// Where the configuration and the programs the band starts are, and reading the
// configuration file.

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "config/meter_model.h"

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

// What a read of the configuration file found, parsed on the reading thread too: a file
// near the size limit takes long enough to parse that a window's thread must not.
struct ConfigurationRead {
    // Nothing when the file is missing, unreadable or over the size limit.
    std::optional<std::string> text;
    // The parsed text: null when there is no text or it does not parse.
    nlohmann::json document;
    // Why the text does not parse (malformed, nested too deeply); empty when it does.
    std::string parseError;
};

// Reads and parses the file.
ConfigurationRead readConfiguration(const std::wstring& path) noexcept;

// A parsed configuration's top-level "language"; empty when it has none or not as text.
std::string_view configuredLanguage(const nlohmann::json& document) noexcept;

struct Launch {
    std::wstring program;
    std::wstring workingFolder;  // empty: none
    std::wstring parameters;     // empty: none
};

// Tavisto.exe's switch for its Show values window alone.
inline constexpr wchar_t kShowValuesSwitch[] = L"--values";

// "<system folder>\Taskmgr.exe" and "<system folder>\resmon.exe", started without a
// working folder; nothing when the system folder cannot be read.
std::optional<Launch> taskManagerLaunch();
std::optional<Launch> taskManagerIn(std::wstring_view systemFolder);
std::optional<Launch> resourceMonitorLaunch();

// "Tavisto.exe" in the module's folder, started there with `parameters` (none: its
// settings window). The folder is everything before the last "\" or "/" of the module
// path, or the whole path when it holds neither; nothing when the module path is empty.
std::optional<Launch> companionLaunch(const std::wstring& module,
                                      std::wstring_view parameters = {});

// What a left click on a group with `click` starts, for a host running in `module` that
// has no window of its own for it: Show values and Settings are Tavisto.exe's windows.
// Nothing for a group whose click does nothing. Only these programs are ever started.
std::optional<Launch> clickLaunch(GroupClick click, const std::wstring& module);

}  // namespace tavisto::window
