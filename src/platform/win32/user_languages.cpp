#include "platform/win32/user_languages.h"

#include <windows.h>

#include "core/text_conversion.h"

namespace tavisto::win32 {
namespace {

// More than any user sets; the rest are never reached before English.
constexpr std::size_t kMostLanguages = 16;

}  // namespace

std::vector<std::string> userDisplayLanguages() {
    ULONG count = 0;
    ULONG length = 0;
    if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, nullptr, &length) ||
        length == 0 || length > kMostLanguages * (LOCALE_NAME_MAX_LENGTH + 1) + 1) {
        return {};
    }
    std::u16string names(length, u'\0');
    if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count,
                                     reinterpret_cast<wchar_t*>(names.data()), &length)) {
        return {};
    }
    // A list of names each ended by a null, the list by another.
    std::vector<std::string> languages;
    for (std::size_t at = 0; at < names.size() && names[at] != u'\0' &&
                             languages.size() < kMostLanguages;) {
        const std::size_t end = names.find(u'\0', at);
        if (end == std::u16string::npos) {
            break;
        }
        languages.push_back(utf16ToUtf8(std::u16string_view(names).substr(at, end - at)));
        at = end + 1;
    }
    return languages;
}

}  // namespace tavisto::win32
