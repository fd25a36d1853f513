#include "render/band_metrics.h"

#include <algorithm>
#include <cstddef>

#include "core/rounding.h"

namespace tavisto {
namespace {

// The sum of the meters' configured sizes across the band at the layout's scale; unset
// sizes (-1) do not count.
std::int64_t configuredAcross(const PanelModel& model, const MeterGroup& group, bool widths,
                              double scale) {
    std::int64_t sum = 0;
    for (const std::size_t index : group.meters) {
        const Meter& meter = model.meters[index];
        const std::int32_t size = widths ? meter.width : meter.height;
        if (size != -1) {
            sum += platform::scaledPixels(size, scale);
        }
    }
    return sum;
}

// A placed rectangle's extents: layout saturates each coordinate, so the difference
// between them can exceed the 32-bit range.
std::int64_t widthOf(const Rect& rect) {
    return std::int64_t{rect.right} - rect.left;
}

std::int64_t heightOf(const Rect& rect) {
    return std::int64_t{rect.bottom} - rect.top;
}

}  // namespace

std::int32_t bandLength(const PanelModel& model, const PanelLayout& layout,
                        BandDirection direction) {
    const double scale = layout.scale;
    std::int64_t length = 2 * std::int64_t{platform::scaledPixels(model.horizontalPadding, scale)};
    for (const GroupPlacement& group : layout.groups) {
        length += direction == BandDirection::Horizontal
                      ? widthOf(group.rect) + platform::scaledPixels(model.horizontalSpacing, scale)
                      : heightOf(group.rect) + platform::scaledPixels(model.verticalSpacing, scale);
    }
    return clampToInt32(length);
}

std::int32_t minimumThickness(const PanelModel& model, const PanelLayout& layout,
                              BandDirection direction) {
    std::int64_t thickness = 0;
    for (std::size_t index = 0; index < model.groups.size(); ++index) {
        const MeterGroup& group = model.groups[index];
        // A group laid side by side in a vertical band needs its meters' widths across it.
        const bool widths = index < layout.groups.size() &&
                            layout.groups[index].orientation == GroupOrientation::Horizontal &&
                            direction == BandDirection::Vertical;
        const std::int64_t sum = configuredAcross(model, group, widths, layout.scale);
        const std::int64_t minimum =
            platform::scaledPixels(widths ? group.minWidth : group.minHeight, layout.scale);
        thickness =
            std::max(thickness,
                     2 * std::int64_t{platform::scaledPixels(model.verticalPadding, layout.scale)} +
                         std::max(minimum, sum));
    }
    return clampToInt32(thickness);
}

std::int32_t actualThickness(const PanelModel& model, const PanelLayout& layout,
                             BandDirection direction) {
    std::int64_t thickness = 0;
    for (const GroupPlacement& group : layout.groups) {
        const std::int64_t across =
            direction == BandDirection::Horizontal ? heightOf(group.rect) : widthOf(group.rect);
        thickness = std::max(thickness, across + 2 * std::int64_t{platform::scaledPixels(
                                                         model.verticalPadding, layout.scale)});
    }
    return clampToInt32(thickness);
}

}  // namespace tavisto
