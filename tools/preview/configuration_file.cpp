#include "preview/configuration_file.h"

#include <fstream>
#include <string>
#include <system_error>

#include "config/configuration_text.h"

namespace tavisto::preview {

std::optional<std::string> readConfigurationFile(const std::filesystem::path& path,
                                                 std::ostream& err) {
    const std::string name = path.string();
    std::error_code failure;
    const std::uintmax_t size = std::filesystem::file_size(path, failure);
    std::ifstream file(path, std::ios::binary);
    if (failure || !file) {
        err << name << ": cannot open the file\n";
        return std::nullopt;
    }
    if (size > kMaxConfigurationBytes) {
        err << name << ": " << kConfigurationTooLarge << "\n";
        return std::nullopt;
    }
    // One byte more than the limit, so that a file that grew since its size was taken
    // is still refused rather than cut short.
    std::string text(kMaxConfigurationBytes + 1, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    if (text.size() > kMaxConfigurationBytes) {
        err << name << ": " << kConfigurationTooLarge << "\n";
        return std::nullopt;
    }
    return text;
}

}  // namespace tavisto::preview
