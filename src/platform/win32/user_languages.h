#pragma once
// The languages the user reads Windows in.

#include <string>
#include <vector>

namespace tavisto::win32 {

// The user's display languages as tags ("de-DE", "ja-JP"), most preferred first
// (GetUserPreferredUILanguages); at most a handful, empty when Windows names none.
std::vector<std::string> userDisplayLanguages();

}  // namespace tavisto::win32
