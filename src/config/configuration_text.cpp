#include "config/configuration_text.h"

#include <utility>
#include <vector>

namespace tavisto {

nlohmann::json parseConfigurationText(std::string_view text) {
    if (text.size() > kMaxConfigurationBytes) {
        throw ConfigurationLimitError(kConfigurationTooLarge);
    }
    // The library's parser keeps its own stack, but copying, comparing and printing a
    // value recurse once per level: the callback refuses a level before it is built.
    const nlohmann::json::parser_callback_t boundNesting =
        [](int depth, nlohmann::json::parse_event_t event, nlohmann::json&) {
            const bool opens = event == nlohmann::json::parse_event_t::object_start ||
                               event == nlohmann::json::parse_event_t::array_start;
            if (opens && static_cast<std::size_t>(depth) >= kMaxConfigurationNesting) {
                throw ConfigurationLimitError(kConfigurationTooDeep);
            }
            return true;
        };
    return nlohmann::json::parse(text.begin(), text.end(), boundNesting);
}

void refuseDeepNesting(const nlohmann::json& document) {
    std::vector<std::pair<const nlohmann::json*, std::size_t>> pending{{&document, 1}};
    while (!pending.empty()) {
        const auto [value, level] = pending.back();
        pending.pop_back();
        if (!value->is_structured()) {
            continue;
        }
        if (level > kMaxConfigurationNesting) {
            throw ConfigurationLimitError(kConfigurationTooDeep);
        }
        for (const nlohmann::json& child : *value) {
            pending.emplace_back(&child, level + 1);
        }
    }
}

}  // namespace tavisto
