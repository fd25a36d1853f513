#pragma once
// Writing the shipped example as the configuration file, never over an existing one.

#include <string>
#include <string_view>

namespace tavisto::companion {

struct CreateResult {
    enum class Outcome { Created, AlreadyThere, Failed } outcome = Outcome::Failed;
    unsigned long error = 0;  // the system's error code when Failed
};

// Creates `folder` (with its parents) when missing, writes `content` to a temporary
// file there and renames it to `file`, which must lie in `folder`. A file that is
// already there, or appears meanwhile, is left as it is.
CreateResult createFromExample(const std::wstring& folder, const std::wstring& file,
                               std::string_view content);

}  // namespace tavisto::companion
