#pragma once
// Counter paths as the configuration needs them: English names, and the JSON fragment
// the counter picker copies.

#include <map>
#include <string>
#include <string_view>

namespace tavisto::companion {

// `"counterPath": "(\\Object(instance)\\Counter)"`, the path escaped for JSON; no
// instance part when `instance` is empty.
std::string counterPathFragment(std::wstring_view object, std::wstring_view instance,
                                std::wstring_view counter);

// The performance text table of the registry ("Counter" of Perflib\009): index and
// name pairs in a list of zero-terminated strings, ended by an empty one. Pairs
// whose index is not a number are skipped.
std::map<unsigned long, std::wstring> parseCounterNames(std::wstring_view table);

}  // namespace tavisto::companion
