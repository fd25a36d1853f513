#pragma once
// Reading a configuration file as the band does: a file over the size limit is refused
// by its size, before it is read; the panel parses the text with the nesting bound.

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

namespace tavisto::preview {

// The file's text; nothing, after a message that starts with the file's name on `err`,
// when the file cannot be read or is too large.
std::optional<std::string> readConfigurationFile(const std::filesystem::path& path,
                                                 std::ostream& err);

}  // namespace tavisto::preview
