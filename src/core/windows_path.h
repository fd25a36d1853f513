#pragma once
// Windows paths as text. Both separators count: the shell hands out backslashes, but a
// user or a setting may write forward slashes.

#include <cstddef>
#include <string>
#include <string_view>

namespace tavisto {

constexpr bool isPathSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// Where the last separator is; npos when there is none.
inline std::size_t lastPathSeparator(std::wstring_view path) {
    return path.find_last_of(L"\\/");
}

// The path without its trailing separators, but for a root's ("\" or "C:\"): "C:" alone
// names the drive's current folder.
inline std::wstring_view withoutTrailingSeparators(std::wstring_view path) {
    while (path.size() > 1 && isPathSeparator(path.back()) && path[path.size() - 2] != L':') {
        path.remove_suffix(1);
    }
    return path;
}

// The folder and the name with one separator between them (the folder's own when it ends
// in one); an empty folder gives the name alone, not a path from the drive's root.
inline std::wstring joinPath(std::wstring_view folder, std::wstring_view name) {
    std::wstring joined(folder);
    if (!joined.empty() && !isPathSeparator(joined.back())) {
        joined += L'\\';
    }
    return joined += name;
}

}  // namespace tavisto
