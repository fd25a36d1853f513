// Checks arbitrary bytes as a configuration file and holds the checker to its promises:
// it never throws or crashes, reports at most the bounded number of findings, places
// each inside the text, and finds an error the band refuses the file for exactly when the
// loader refuses it (the other errors are of the hotkey, which only Tavisto.exe reads).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include <nlohmann/json.hpp>

#include "config/configuration_checker.h"
#include "config/configuration_loader.h"
#include "config/configuration_text.h"

namespace {

bool loads(std::string_view text) {
    tavisto::PanelModel model;
    try {
        nlohmann::json document = tavisto::parseConfigurationText(text);
        tavisto::loadModel(document, tavisto::LoadContext{}, model);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

std::size_t countLines(std::string_view text) {
    std::size_t lines = 1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) {
            ++lines;
        }
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<tavisto::Finding> findings = tavisto::checkConfiguration(text);
    if (findings.size() > tavisto::kMaxFindings + 1) {
        std::abort();
    }
    const std::size_t lines = countLines(text);
    for (const tavisto::Finding& finding : findings) {
        if (finding.line < 1 || finding.line > lines || finding.column < 1 ||
            finding.column > size + 1 || (finding.message.empty() && finding.detail.empty()) ||
            finding.code.empty()) {
            std::abort();
        }
    }
    if (tavisto::bandRefuses(findings) == loads(text)) {
        std::abort();
    }
    return 0;
}
