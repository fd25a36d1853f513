#include "companion/configuration_status.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <iterator>
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

namespace tavisto::companion {
namespace {

std::wstring wide(std::string_view utf8) {
    const std::u16string text = utf8ToUtf16(utf8);
    return {text.begin(), text.end()};
}

std::wstring counted(std::size_t count, const wchar_t* one, const wchar_t* many) {
    return std::to_wstring(count) + L" " + (count == 1 ? one : many);
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

std::wstring findingSummary(const std::vector<Finding>& findings) {
    std::size_t errors = 0;
    for (const Finding& finding : findings) {
        errors += finding.severity == Severity::Error ? 1 : 0;
    }
    const std::size_t warnings = findings.size() - errors;
    std::wstring summary;
    if (errors > 0) {
        summary = counted(errors, L"error", L"errors");
    }
    if (warnings > 0) {
        summary += (summary.empty() ? L"" : L", ") + counted(warnings, L"warning", L"warnings");
    }
    return summary;
}

// Says first why, in the plain words of the error the band refuses the file with.
ConfigurationStatus refused(std::vector<Finding> findings) {
    ConfigurationStatus status{ConfigurationState::Refused, {}, std::move(findings), {}};
    const auto error = std::find_if(status.findings.begin(), status.findings.end(),
                                    [](const Finding& f) { return f.severity == Severity::Error; });
    std::wstring reason;
    if (error != status.findings.end()) {
        reason = wide(error->message.empty() ? error->detail : error->message) + L" (line " +
                 std::to_wstring(error->line) + L", column " + std::to_wstring(error->column) +
                 L"). ";
    }
    status.stateLine = L"Refused: " + reason + L"The band keeps what it showed before (" +
                       findingSummary(status.findings) + L").";
    return status;
}

}  // namespace

std::wstring systemErrorText(unsigned long error) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const win32::LocalMemory<wchar_t*> owned(buffer);
    std::wstring text = length > 0 ? std::wstring(buffer, length) : std::wstring();
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) {
        text.pop_back();
    }
    return text.empty() ? L"system error " + std::to_wstring(error) : text;
}

ConfigurationStatus describeConfiguration(std::string_view bytes, CounterCatalog* counters) {
    CheckOptions options;
    options.counters = counters;
    std::vector<Finding> findings = checkConfiguration(bytes, options);
    if (bandRefuses(findings)) {
        return refused(std::move(findings));
    }
    Counts counts;
    try {
        counts = countModel(parseConfigurationText(bytes));
    } catch (const std::exception& failure) {
        // The checker accepted it, so the parser does too; counts stay zero otherwise.
        reportFailure("counting the configuration", failure.what());
    }
    ConfigurationStatus status{ConfigurationState::Loaded, {}, std::move(findings), {}};
    // The meters whose counters can never show a value, each counted once.
    std::set<std::string> silentMeters;
    for (const Finding& finding : status.findings) {
        if (finding.code == "shows-nothing") {
            silentMeters.insert(finding.pointer.substr(0, finding.pointer.rfind("/counters/")));
        }
    }
    status.stateLine = silentMeters.empty()
                           ? std::wstring(L"Loaded: ")
                           : L"Loaded, but " +
                                 counted(silentMeters.size(), L"meter can",
                                         L"meters can") +
                                 L" show nothing: ";
    status.stateLine += counted(counts.groups, L"group", L"groups") + L", " +
                       counted(counts.meters, L"meter", L"meters") + L", " +
                       counted(counts.counters, L"counter", L"counters");
    if (!status.findings.empty()) {
        status.stateLine += L" (" + findingSummary(status.findings) + L")";
    }
    // What Tavisto.exe refuses while the band loads the file.
    const auto error = std::find_if(status.findings.begin(), status.findings.end(),
                                    [](const Finding& f) { return f.severity == Severity::Error; });
    if (error != status.findings.end()) {
        status.stateLine += L". The " + wide(error->message) + L".";
    }
    // The first reference this machine cannot read, counter or sensor, with the reason.
    const auto missing = std::find_if(
        status.findings.begin(), status.findings.end(), [](const Finding& f) {
            return f.code == "counter-not-found" || f.code == "sensor-not-available";
        });
    if (missing != status.findings.end()) {
        status.stateLine += L". The " + wide(missing->message) + L".";
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
    const win32::FileHandle file(CreateFileW(
        path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return ConfigurationStatus{ConfigurationState::Missing,
                                       L"Missing: there is no configuration file yet.",
                                       {},
                                       {}};
        }
        return ConfigurationStatus{
            ConfigurationState::Unreadable, L"Unreadable: " + systemErrorText(error), {}, {}};
    }
    FILETIME written{};
    const std::wstring writtenAt =
        GetFileTime(file.get(), nullptr, nullptr, &written) ? localTimeText(written) : L"";
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) {
        return ConfigurationStatus{ConfigurationState::Unreadable,
                                   L"Unreadable: " + systemErrorText(GetLastError()),
                                   {},
                                   {}};
    }
    if (static_cast<std::uint64_t>(size.QuadPart) > kMaxConfigurationBytes) {
        return refused({{Severity::Error, 1, 1, "", "size",
                         plainLoaderMessage(kConfigurationTooLarge, ""), kConfigurationTooLarge}});
    }
    // One byte more than the limit: a file that grew since its size was read is still
    // refused rather than cut short.
    std::string bytes(static_cast<std::size_t>(kMaxConfigurationBytes) + 1, '\0');
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        DWORD read = 0;
        if (!ReadFile(file.get(), bytes.data() + filled, static_cast<DWORD>(bytes.size() - filled),
                      &read, nullptr)) {
            return ConfigurationStatus{ConfigurationState::Unreadable,
                                       L"Unreadable: " + systemErrorText(GetLastError()),
                                       {},
                                       {}};
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
    std::wstring line = status.stateLine;
    if (status.state == ConfigurationState::Refused && !lastLoadedWrittenAt.empty()) {
        line += L" Last loaded: the file as written at " + lastLoadedWrittenAt + L".";
    }
    if (!checkingAgain) {
        return line;
    }
    // Before the first result there is nothing to check again.
    return line.empty() ? L"Checking\u2026" : kCheckingAgain + line;
}

std::wstring severityText(Severity severity) {
    return severity == Severity::Error ? L"error" : L"warning";
}

std::wstring positionText(const Finding& finding) {
    return std::to_wstring(finding.line) + L":" + std::to_wstring(finding.column);
}

std::wstring messageText(const Finding& finding) {
    try {
        return wide(findingText(finding));
    } catch (const std::range_error&) {
        return L"(message not readable)";
    }
}

}  // namespace tavisto::companion
