#include "companion/placement.h"

#include <algorithm>

#include "core/rounding.h"
#include "platform/platform.h"

namespace tavisto::companion {

Rect placeBand(const TaskbarShape& taskbar, const TaskbarSettings& settings, std::int32_t length) {
    const Rect& client = taskbar.client;
    const bool horizontal = client.width() >= client.height();
    const std::int64_t offset = platform::scaledPixels(settings.offset, taskbar.dpiScale);
    // Along the taskbar: its near end, and the far end the band must stay before.
    const std::int64_t nearEnd = horizontal ? client.left : client.top;
    std::int64_t farEnd = horizontal ? client.right : client.bottom;
    if (taskbar.notificationArea) {
        farEnd = horizontal ? taskbar.notificationArea->left : taskbar.notificationArea->top;
    } else {
        const std::int32_t reserve = taskbar.primary ? kPrimaryTrayReserve : kSecondaryClockReserve;
        farEnd -= platform::scaledPixels(reserve, taskbar.dpiScale);
    }
    // Across: the visible bar, kept inside the client area.
    std::int32_t crossFrom = horizontal ? client.top : client.left;
    std::int32_t crossTo = horizontal ? client.bottom : client.right;
    if (taskbar.visibleBar) {
        crossFrom =
            std::max(crossFrom, horizontal ? taskbar.visibleBar->top : taskbar.visibleBar->left);
        crossTo =
            std::min(crossTo, horizontal ? taskbar.visibleBar->bottom : taskbar.visibleBar->right);
        if (crossTo <= crossFrom) {
            crossFrom = horizontal ? client.top : client.left;
            crossTo = horizontal ? client.bottom : client.right;
        }
    }
    const std::int64_t size = std::max<std::int32_t>(length, 0);
    std::int64_t start =
        settings.position == Edge::Left ? nearEnd + offset : farEnd - offset - size;
    start = std::max(start, nearEnd);
    const std::int32_t from = clampToInt32(start);
    const std::int32_t to = clampToInt32(start + size);
    if (horizontal) {
        return {from, crossFrom, to, crossTo};
    }
    return {crossFrom, from, crossTo, to};
}

}  // namespace tavisto::companion
