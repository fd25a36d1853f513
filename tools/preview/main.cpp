// tavisto-preview: runs the band's engine on Linux against a configuration file.
//   tavisto-preview [--light] [configuration.json] [dpi]
// --light draws the band on a light taskbar, where "auto" colours are black.

#include <charconv>
#include <iostream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "preview/configuration_file.h"
#include "preview/preview_render.h"

namespace {

constexpr const char* kDefaultConfiguration = "examples/TavistoConfig.json";

int usage() {
    std::cerr << "usage: tavisto-preview [--light] [configuration.json] [dpi]\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tavisto;
    std::vector<std::string> arguments(argv + 1, argv + argc);
    auto theme = platform::TaskbarTheme::Dark;
    if (!arguments.empty() && arguments.front() == "--light") {
        theme = platform::TaskbarTheme::Light;
        arguments.erase(arguments.begin());
    }
    if (arguments.size() > 2) {
        return usage();
    }
    const std::string path = !arguments.empty() ? arguments[0] : kDefaultConfiguration;
    int dpi = 96;
    if (arguments.size() > 1) {
        const std::string& text = arguments[1];
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), dpi);
        if (error != std::errc() || end != text.data() + text.size() || dpi <= 0 || dpi > 960) {
            return usage();
        }
    }

    std::optional<std::string> text = preview::readConfigurationFile(path, std::cerr);
    if (!text) {
        return 1;
    }
    return preview::renderBands(std::move(*text), path, dpi, theme, ".", std::cout, std::cerr);
}
