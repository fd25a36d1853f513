#include "check/check_command.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <nlohmann/json.hpp>

#include "config/configuration_text.h"
#include "core/texts.h"
#include "platform/platform.h"
#include "tavisto_version.h"

namespace tavisto::check {
namespace {

constexpr const char* kUsage =
    "usage: tavisto-check [--format text|json] [--dpi N] [--machine] [--language TAG] FILE...\n"
    "       tavisto-check --version\n";

struct Options {
    bool json = false;
    int dpi = 96;
    bool machine = false;
    const TextTable* texts = &englishTexts();
    std::vector<std::string> files;
};

// The tags of the languages the findings can be written in: "en, de, fr".
std::string spokenLanguages() {
    std::string tags;
    for (const TextTable& table : kTextTables) {
        tags += (tags.empty() ? "" : ", ") + std::string(table.tag);
    }
    return tags;
}

bool parseArguments(const std::vector<std::string>& arguments, Options& options,
                    std::ostream& err) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (argument == "--format" && hasValue) {
            const std::string& format = arguments[++i];
            if (format != "text" && format != "json") {
                err << "tavisto-check: unknown format \"" << format << "\"\n";
                return false;
            }
            options.json = format == "json";
        } else if (argument == "--dpi" && hasValue) {
            // Still read and checked for the scripts that pass it: the model is kept at
            // 96 DPI, so no finding depends on the screen's scale.
            const std::string& text = arguments[++i];
            const auto [end, error] =
                std::from_chars(text.data(), text.data() + text.size(), options.dpi);
            if (error != std::errc() || end != text.data() + text.size() || options.dpi <= 0 ||
                options.dpi > 960) {
                err << "tavisto-check: the DPI must be a whole number from 1 to 960\n";
                return false;
            }
        } else if (argument == "--language" && hasValue) {
            const std::string& tag = arguments[++i];
            options.texts = textsFor(tag);
            if (options.texts == nullptr) {
                err << "tavisto-check: unknown language \"" << tag
                    << "\"; the findings can be written in " << spokenLanguages() << "\n";
                return false;
            }
        } else if (argument == "--machine") {
            options.machine = true;
        } else if (argument.starts_with("--")) {
            err << "tavisto-check: unknown option " << argument << "\n";
            return false;
        } else {
            options.files.push_back(argument);
        }
    }
    if (options.files.empty()) {
        err << "tavisto-check: no file to check\n";
        return false;
    }
    return true;
}

// Reads one byte more than a configuration may have, so that a larger file is reported
// as too large without being read whole.
bool readBounded(const std::string& name, std::string& bytes) {
    std::ifstream file(std::filesystem::path(std::u8string(name.begin(), name.end())),
                       std::ios::binary);
    if (!file) {
        return false;
    }
    bytes.resize(kMaxConfigurationBytes + 1);
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (file.bad()) {
        return false;
    }
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    return true;
}

const char* severityName(Severity severity) {
    return severity == Severity::Error ? "error" : "warning";
}

}  // namespace

int runCheckCommand(const std::vector<std::string>& arguments, CounterCatalog* machine,
                    std::ostream& out, std::ostream& err) {
    if (arguments.size() == 1 && arguments.front() == "--version") {
        out << "tavisto-check " TAVISTO_VERSION_TEXT "\n";
        return kNoErrors;
    }
    Options options;
    if (!parseArguments(arguments, options, err)) {
        err << kUsage;
        return kUsageOrUnreadable;
    }
    if (options.machine && machine == nullptr) {
        err << "tavisto-check: --machine is only available on Windows\n";
        return kUsageOrUnreadable;
    }
    CheckOptions checkOptions;
    checkOptions.counters = options.machine ? machine : nullptr;
    checkOptions.texts = options.texts;

    int status = kNoErrors;
    nlohmann::json all = nlohmann::json::array();
    for (const std::string& name : options.files) {
        std::string bytes;
        if (!readBounded(name, bytes)) {
            err << name << ": cannot read the file\n";
            status = kUsageOrUnreadable;
            continue;
        }
        const std::vector<Finding> findings = checkConfiguration(bytes, checkOptions);
        if (hasErrors(findings) && status == kNoErrors) {
            status = kErrorsFound;
        }
        for (const Finding& finding : findings) {
            if (options.json) {
                all.push_back({{"file", name},
                               {"line", finding.line},
                               {"column", finding.column},
                               {"severity", severityName(finding.severity)},
                               {"code", finding.code},
                               {"pointer", finding.pointer},
                               {"message", finding.message},
                               {"detail", finding.detail}});
            } else {
                out << name << ':' << finding.line << ':' << finding.column << ": "
                    << severityName(finding.severity) << ": "
                    << findingText(finding, *options.texts) << " [" << finding.pointer << "]\n";
            }
        }
    }
    if (options.json) {
        // File names may hold bytes that are not UTF-8; they are replaced, not refused.
        out << all.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    }
    return status;
}

}  // namespace tavisto::check
