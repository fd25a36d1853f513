#pragma once
// Reading a configuration file as the band does: a file over the size limit is refused
// by its size, before it is read, and the text is parsed with the nesting bound.

#include <filesystem>
#include <optional>
#include <ostream>

#include <nlohmann/json.hpp>

namespace tavisto::preview {

// The parsed document; nothing, after a message that starts with the file's name on
// `err`, when the file cannot be read, is too large, or does not parse.
std::optional<nlohmann::json> readConfigurationFile(const std::filesystem::path& path,
                                                    std::ostream& err);

}  // namespace tavisto::preview
