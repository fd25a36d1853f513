#include "companion/configuration_status.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <iterator>
#include <optional>
#include <set>
#include <stdexcept>
#include <utility>
#include <variant>

#include "config/configuration_text.h"
#include "config/loader_messages.h"
#include "core/failure_sink.h"
#include "core/text_conversion.h"
#include "platform/win32/handles.h"
#include "window/machine_counter_catalog.h"
#include "window/window_texts.h"

namespace tavisto::companion {
namespace {

std::wstring wide(std::string_view utf8) {
    const std::u16string text = utf8ToUtf16(utf8);
    return {text.begin(), text.end()};
}

std::u16string u16(std::wstring_view text) {
    return {text.begin(), text.end()};
}

std::u16string number(std::size_t count) {
    return u16(std::to_wstring(count));
}

struct Counts {
    std::size_t groups = 0;
    std::size_t meters = 0;
    std::size_t counters = 0;
};

Counts countModel(const nlohmann::json& document) {
    Counts counts;
    const auto groups = document.find("meterGroups");
    if (groups == document.end() || !groups->is_array()) {
        return counts;
    }
    for (const nlohmann::json& group : *groups) {
        ++counts.groups;
        const auto meters = group.is_object() ? group.find("meters") : group.end();
        if (meters == group.end() || !meters->is_array()) {
            continue;
        }
        for (const nlohmann::json& meter : *meters) {
            ++counts.meters;
            const auto counters = meter.is_object() ? meter.find("counters") : meter.end();
            if (counters != meter.end() && counters->is_array()) {
                counts.counters += counters->size();
            }
        }
    }
    return counts;
}

std::size_t errorCount(const std::vector<Finding>& findings) {
    return static_cast<std::size_t>(
        std::count_if(findings.begin(), findings.end(),
                      [](const Finding& f) { return f.severity == Severity::Error; }));
}

// The configuration's top-level "language", when the file parses and names one.
std::string configuredLanguage(const std::optional<nlohmann::json>& document) {
    if (!document || !document->is_object()) {
        return {};
    }
    const auto language = document->find("language");
    return language != document->end() && language->is_string() ? language->get<std::string>()
                                                                 : std::string();
}

// Says first why, in the plain words of the error the band refuses the file with.
ConfigurationStatus refused(const TextTable& texts, std::vector<Finding> findings) {
    ConfigurationStatus status{ConfigurationState::Refused, {}, std::move(findings), {}, &texts};
    const std::size_t errors = errorCount(status.findings);
    const std::u16string errorsText = number(errors);
    const std::u16string warningsText = number(status.findings.size() - errors);
    const auto error = std::find_if(status.findings.begin(), status.findings.end(),
                                    [](const Finding& f) { return f.severity == Severity::Error; });
    if (error == status.findings.end()) {
        status.stateLine = filledText(texts, TextId::SettingsRefused,
                                      {{u"errors", errorsText}, {u"warnings", warningsText}});
        return status;
    }
    const std::u16string message =
        utf8ToUtf16(error->message.empty() ? error->detail : error->message);
    status.stateLine = filledText(texts, TextId::SettingsRefusedAt,
                                  {{u"message", message},
                                   {u"line", number(error->line)},
                                   {u"column", number(error->column)},
                                   {u"errors", errorsText},
                                   {u"warnings", warningsText}});
    return status;
}

}  // namespace

std::wstring filledText(const TextTable& texts, TextId id,
                        std::initializer_list<TextArgument> arguments) {
    return window::wideText(fillText(text(texts, id), arguments));
}

std::wstring systemErrorText(const TextTable& texts, unsigned long error) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const win32::LocalMemory<wchar_t*> owned(buffer);
    std::wstring text = length > 0 ? std::wstring(buffer, length) : std::wstring();
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) {
        text.pop_back();
    }
    return text.empty() ? filledText(texts, TextId::SettingsSystemError, {{u"code", number(error)}})
                        : text;
}

ConfigurationStatus describeConfiguration(std::string_view bytes, CounterCatalog* counters) {
    // A file that does not parse names no language: the user's is spoken.
    std::optional<nlohmann::json> document;
    try {
        document = parseConfigurationText(bytes);
    } catch (const std::exception&) {
        // The checker says why.
    }
    const TextTable& texts = window::windowTexts(configuredLanguage(document));
    CheckOptions options;
    options.counters = counters;
    options.texts = &texts;
    std::vector<Finding> findings = checkConfiguration(bytes, options);
    if (bandRefuses(findings)) {
        return refused(texts, std::move(findings));
    }
    if (!document) {
        // The checker accepted it, so the parser does too; counts stay zero otherwise.
        reportFailure("counting the configuration", "the file does not parse");
    }
    const Counts counts = document ? countModel(*document) : Counts{};
    ConfigurationStatus status{ConfigurationState::Loaded, {}, std::move(findings), {}, &texts};
    // The meters whose counters can never show a value, each counted once.
    std::set<std::string> silentMeters;
    for (const Finding& finding : status.findings) {
        if (finding.code == "shows-nothing") {
            silentMeters.insert(finding.pointer.substr(0, finding.pointer.rfind("/counters/")));
        }
    }
    const std::u16string groups = number(counts.groups);
    const std::u16string meters = number(counts.meters);
    const std::u16string counterCount = number(counts.counters);
    status.stateLine =
        silentMeters.empty()
            ? filledText(texts, TextId::SettingsLoaded,
                         {{u"groups", groups}, {u"meters", meters}, {u"counters", counterCount}})
            : filledText(texts, TextId::SettingsLoadedSilent,
                         {{u"silent", number(silentMeters.size())},
                          {u"groups", groups},
                          {u"meters", meters},
                          {u"counters", counterCount}});
    if (!status.findings.empty()) {
        const std::size_t errors = errorCount(status.findings);
        status.stateLine = filledText(texts, TextId::SettingsFindingCounts,
                                      {{u"state", u16(status.stateLine)},
                                       {u"errors", number(errors)},
                                       {u"warnings", number(status.findings.size() - errors)}});
    }
    const auto note = [&](const Finding& finding) {
        status.stateLine = filledText(
            texts, TextId::SettingsNote,
            {{u"state", u16(status.stateLine)}, {u"message", utf8ToUtf16(finding.message)}});
    };
    // What Tavisto.exe refuses while the band loads the file.
    const auto error = std::find_if(status.findings.begin(), status.findings.end(),
                                    [](const Finding& f) { return f.severity == Severity::Error; });
    if (error != status.findings.end()) {
        note(*error);
    }
    // The first reference this machine cannot read, counter or sensor, with the reason.
    const auto missing = std::find_if(
        status.findings.begin(), status.findings.end(), [](const Finding& f) {
            return f.code == "counter-not-found" || f.code == "sensor-not-available";
        });
    if (missing != status.findings.end()) {
        note(*missing);
    }
    return status;
}

namespace {

std::wstring localTimeText(const FILETIME& written) {
    SYSTEMTIME universal{};
    SYSTEMTIME local{};
    if (!FileTimeToSystemTime(&written, &universal) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) {
        return {};
    }
    wchar_t text[32] = {};
    swprintf(text, std::size(text), L"%04u-%02u-%02u %02u:%02u:%02u", local.wYear, local.wMonth,
             local.wDay, local.wHour, local.wMinute, local.wSecond);
    return text;
}

struct FileBytes {
    std::string bytes;
    std::wstring writtenAt;
};

// The file's bytes, or the status that says why there are none to check.
std::variant<FileBytes, ConfigurationStatus> readBytes(const std::wstring& path) {
    // A file that cannot be read names no language: the user's is spoken.
    const TextTable& texts = window::windowTexts("");
    const auto unreadable = [&texts](DWORD error) {
        return ConfigurationStatus{ConfigurationState::Unreadable,
                                   filledText(texts, TextId::SettingsUnreadable,
                                              {{u"reason", u16(systemErrorText(texts, error))}}),
                                   {},
                                   {},
                                   &texts};
    };
    const win32::FileHandle file(CreateFileW(
        path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return ConfigurationStatus{ConfigurationState::Missing,
                                       window::wideText(texts, TextId::SettingsMissing),
                                       {},
                                       {},
                                       &texts};
        }
        return unreadable(error);
    }
    FILETIME written{};
    const std::wstring writtenAt =
        GetFileTime(file.get(), nullptr, nullptr, &written) ? localTimeText(written) : L"";
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) {
        return unreadable(GetLastError());
    }
    if (static_cast<std::uint64_t>(size.QuadPart) > kMaxConfigurationBytes) {
        return refused(texts, {{Severity::Error, 1, 1, "", "size",
                         plainLoaderMessage(kConfigurationTooLarge, "", texts),
                         kConfigurationTooLarge}});
    }
    // One byte more than the limit: a file that grew since its size was read is still
    // refused rather than cut short.
    std::string bytes(static_cast<std::size_t>(kMaxConfigurationBytes) + 1, '\0');
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        DWORD read = 0;
        if (!ReadFile(file.get(), bytes.data() + filled, static_cast<DWORD>(bytes.size() - filled),
                      &read, nullptr)) {
            return unreadable(GetLastError());
        }
        if (read == 0) {
            break;
        }
        filled += read;
    }
    bytes.resize(filled);
    return FileBytes{std::move(bytes), writtenAt};
}

}  // namespace

ConfigurationStatus readConfigurationStatus(const std::wstring& path) {
    // Closed before the check, which may take a while: an editor may save meanwhile by
    // renaming over it.
    std::variant<FileBytes, ConfigurationStatus> read = readBytes(path);
    if (auto* status = std::get_if<ConfigurationStatus>(&read)) {
        return std::move(*status);
    }
    FileBytes& file = std::get<FileBytes>(read);
    window::MachineCounterCatalog counters;
    ConfigurationStatus status = describeConfiguration(file.bytes, &counters);
    status.writtenAt = std::move(file.writtenAt);
    return status;
}

std::wstring stateLineWithLastLoad(const ConfigurationStatus& status,
                                   const std::wstring& lastLoadedWrittenAt, bool checkingAgain) {
    const TextTable& texts = *status.texts;
    std::wstring line = status.stateLine;
    if (status.state == ConfigurationState::Refused && !lastLoadedWrittenAt.empty()) {
        line = filledText(texts, TextId::SettingsLastLoaded,
                          {{u"state", u16(line)}, {u"time", u16(lastLoadedWrittenAt)}});
    }
    if (!checkingAgain) {
        return line;
    }
    // Before the first result there is nothing to check again.
    return line.empty() ? window::wideText(texts, TextId::SettingsChecking)
                        : filledText(texts, TextId::SettingsCheckingAgain, {{u"state", u16(line)}});
}

std::wstring severityText(const TextTable& texts, Severity severity) {
    return window::wideText(texts, severity == Severity::Error ? TextId::SettingsSeverityError
                                                               : TextId::SettingsSeverityWarning);
}

std::wstring positionText(const Finding& finding) {
    return std::to_wstring(finding.line) + L":" + std::to_wstring(finding.column);
}

std::wstring messageText(const TextTable& texts, const Finding& finding) {
    try {
        return wide(findingText(finding, texts));
    } catch (const std::range_error&) {
        return window::wideText(texts, TextId::SettingsMessageUnreadable);
    }
}

}  // namespace tavisto::companion
