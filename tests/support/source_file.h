#pragma once
// Files of the source tree (documentation, the example configuration) as text.

#include <fstream>
#include <sstream>
#include <string>

namespace tavisto::testing {

inline std::string sourceFile(const char* relativePath) {
    std::ifstream file(std::string(TAVISTO_SOURCE_DIR) + "/" + relativePath);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace tavisto::testing
