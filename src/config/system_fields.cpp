#include "config/system_fields.h"

#include <algorithm>

#include "config/json_positions.h"
#include "core/text_conversion.h"

namespace tavisto {
namespace {

// A path is quoted in a message up to this many characters.
constexpr std::size_t kQuotedPathCharacters = 64;

std::string quoted(std::u16string_view path) {
    return cutToCharacters(utf16ToUtf8(path), kQuotedPathCharacters);
}

}  // namespace

const FieldSource* fieldSourceOf(std::u16string_view path) {
    for (const FieldSource& source : kFieldSources) {
        if (path.starts_with(source.prefix)) {
            return &source;
        }
    }
    return nullptr;
}

std::string unknownFieldMessage(std::u16string_view path) {
    const FieldSource* source = fieldSourceOf(path);
    if (source == nullptr) {
        // "(PERFORMANCE_INFORMATION" then any character but the dot.
        return quoted(path) +
               " is not a system field: write PERFORMANCE_INFORMATION., SYSTEM_INFO., "
               "ADAPTER_PERFDATA. or SYSTEM_POWER_STATUS. and a field";
    }
    const std::u16string_view field = path.substr(source->prefix.size());
    if (std::find(source->fields.begin(), source->fields.end(), field) != source->fields.end()) {
        return {};
    }
    const std::u16string_view name = source->name();
    std::string message =
        quoted(path) + " is not a field of " + utf16ToUtf8(name) + ", whose fields are ";
    for (std::size_t i = 0; i < source->fields.size(); ++i) {
        if (i > 0) {
            message += i + 1 == source->fields.size() ? " and " : ", ";
        }
        message += utf16ToUtf8(source->fields[i]);
    }
    return message;
}

}  // namespace tavisto
