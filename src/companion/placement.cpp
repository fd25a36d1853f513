#include "companion/placement.h"

#include <algorithm>

#include "core/rounding.h"

namespace tavisto::companion {

Rect placeBand(const TaskbarShape& taskbar, const TaskbarSettings& settings, std::int32_t length) {
    const Rect& client = taskbar.client;
    const bool horizontal = client.width() >= client.height();
    const std::int64_t offset = roundToInt32(settings.offset * taskbar.dpiScale);
    // Along the taskbar: its near end, and the far end the band must stay before.
    const std::int64_t nearEnd = horizontal ? client.left : client.top;
    std::int64_t farEnd = horizontal ? client.right : client.bottom;
    if (taskbar.notificationArea) {
        farEnd = horizontal ? taskbar.notificationArea->left : taskbar.notificationArea->top;
    } else {
        farEnd -= roundToInt32(kEndMargin * taskbar.dpiScale);
    }
    const std::int64_t size = std::max<std::int32_t>(length, 0);
    std::int64_t start =
        settings.position == Edge::Left ? nearEnd + offset : farEnd - offset - size;
    start = std::max(start, nearEnd);
    const auto from = static_cast<std::int32_t>(std::min<std::int64_t>(start, INT32_MAX));
    const auto to = static_cast<std::int32_t>(std::min<std::int64_t>(start + size, INT32_MAX));
    if (horizontal) {
        return {from, client.top, to, client.bottom};
    }
    return {client.left, from, client.right, to};
}

}  // namespace tavisto::companion
