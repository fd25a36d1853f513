#pragma once
// What the settings window says about the configuration file: missing, loaded (with
// its counts), refused or unreadable, and the checker's findings.

#include <string>
#include <string_view>
#include <vector>

#include "config/configuration_checker.h"
#include "core/texts.h"

namespace tavisto::companion {

// NoFolder: there is no application data folder to hold the file.
enum class ConfigurationState { Missing, Loaded, Refused, Unreadable, NoFolder };

struct ConfigurationStatus {
    ConfigurationState state = ConfigurationState::Missing;
    std::wstring stateLine;
    std::vector<Finding> findings;
    // When the file read was last written, in local time ("2026-12-08 13:05:09"); empty
    // when it was not read. The band loads a file when it is written.
    std::wstring writtenAt;
    // The language the state line speaks, and the settings window with it: the file's
    // "language" when it has one, else the user's display language.
    const TextTable* texts = &englishTexts();
};

// Judges the bytes of the file, in the language its "language" chooses: a file the band would
// refuse is refused with the checker's findings and, first in the state line, the plain words of
// its error, where it is; anything else is loaded with its counts of groups, meters and counters,
// errors and warnings, and its state line says what Tavisto.exe refuses in it (the
// hotkey). With `counters`, the counter paths are looked up there, and the state line of
// a file that loads names the first counter that cannot be read and why.
ConfigurationStatus describeConfiguration(std::string_view bytes,
                                          CounterCatalog* counters = nullptr);

// Reads the file (sharing it with every writer) and judges it against this machine's
// counters. A file over the size
// limit is refused without being read; one that cannot be opened is unreadable, with
// the system's reason.
ConfigurationStatus readConfigurationStatus(const std::wstring& path);

// The state line with the time the file that last loaded was written, when there was
// one (after a refusal, what the band still shows dates from then); while a newer check
// runs (`checkingAgain`), marked first as being checked again.
std::wstring stateLineWithLastLoad(const ConfigurationStatus& status,
                                   const std::wstring& lastLoadedWrittenAt,
                                   bool checkingAgain = false);

// One row of the findings list.
std::wstring severityText(const TextTable& texts, Severity severity);
std::wstring positionText(const Finding& finding);  // "line:column"
std::wstring messageText(const TextTable& texts, const Finding& finding);

// The system's text for an error code, without the trailing line break.
std::wstring systemErrorText(const TextTable& texts, unsigned long error);

// A table's text with its placeholders filled, for Win32 calls.
std::wstring filledText(const TextTable& texts, TextId id,
                        std::initializer_list<TextArgument> arguments);

}  // namespace tavisto::companion
