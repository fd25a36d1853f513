#include "window/module_file.h"

namespace tavisto::window {

std::wstring moduleFileName(HMODULE module) {
    // GetModuleFileNameW truncates silently when the buffer is too small (it then
    // fills it completely), so the buffer grows until the path fits.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        if (path.size() >= 32768) {
            return {};
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace tavisto::window
