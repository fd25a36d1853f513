// tavisto-preview: runs the band's engine on Linux against a configuration file.
//   tavisto-preview [configuration.json] [dpi]

#include <charconv>
#include <iostream>
#include <optional>
#include <string>
#include <utility>

#include <nlohmann/json.hpp>

#include "preview/configuration_file.h"
#include "preview/preview_render.h"

namespace {

constexpr const char* kDefaultConfiguration = "examples/TavistoConfig.json";

int usage() {
    std::cerr << "usage: tavisto-preview [configuration.json] [dpi]\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tavisto;
    if (argc > 3) {
        return usage();
    }
    const std::string path = argc > 1 ? argv[1] : kDefaultConfiguration;
    int dpi = 96;
    if (argc > 2) {
        const std::string text = argv[2];
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), dpi);
        if (error != std::errc() || end != text.data() + text.size() || dpi <= 0 || dpi > 960) {
            return usage();
        }
    }

    std::optional<nlohmann::json> document = preview::readConfigurationFile(path, std::cerr);
    if (!document) {
        return 1;
    }
    return preview::renderBands(std::move(*document), path, dpi, ".", std::cout, std::cerr);
}
