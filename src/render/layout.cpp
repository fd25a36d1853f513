#include "render/layout.h"

#include <algorithm>

#include "core/rounding.h"

namespace tavisto {
namespace {

Rect makeRect(std::int64_t left, std::int64_t top, std::int64_t right, std::int64_t bottom) {
    return {clampToInt32(left), clampToInt32(top), clampToInt32(right), clampToInt32(bottom)};
}

std::int64_t sumOfExtents(const PanelModel& model, const MeterGroup& group, double scale) {
    std::int64_t sum = 0;
    for (const std::size_t index : group.meters) {
        sum += meterExtent(model.meters[index], scale);
    }
    return sum;
}

// The group's configured size at the layout's scale, or the automatic one when it was
// not given.
std::int64_t sizeOr(std::int32_t configured, std::int64_t automatic, double scale) {
    return configured == -1 ? automatic : platform::scaledPixels(configured, scale);
}

// Places the group's meters inside its rectangle and invalidates that rectangle. Meters
// go side by side on a horizontal band or when the group was laid out "horizontal",
// otherwise they are stacked top to bottom.
void layoutGroup(const PanelModel& model, const MeterGroup& group, const GroupPlacement& placed,
                 BandDirection direction, PanelLayout& layout, platform::BandWindow& window) {
    const Rect& area = placed.rect;
    const std::int64_t groupWidth = static_cast<std::int64_t>(area.right) - area.left;
    const std::int64_t groupHeight = static_cast<std::int64_t>(area.bottom) - area.top;
    const double scale = layout.scale;
    const std::int64_t sum = sumOfExtents(model, group, scale);
    const bool horizontalBand = direction == BandDirection::Horizontal;
    if (horizontalBand || placed.orientation == GroupOrientation::Horizontal) {
        std::int64_t offset = floorToInt32(static_cast<double>(groupWidth - sum) * 0.5);
        for (const std::size_t index : group.meters) {
            const std::int64_t left = area.left + offset;
            const std::int32_t extent = meterExtent(model.meters[index], scale);
            layout.meters[index] = {makeRect(left, area.top, left + extent, area.bottom),
                                           extent, static_cast<double>(groupHeight) - 2.0,
                                           horizontalBand, true};
            offset += extent;
        }
    } else {
        std::int64_t offset = floorToInt32(static_cast<double>(groupHeight - sum) * 0.5);
        for (const std::size_t index : group.meters) {
            const std::int64_t top = area.top + offset;
            const std::int32_t extent = meterExtent(model.meters[index], scale);
            layout.meters[index] = {makeRect(area.left, top, area.right, top + extent),
                                           extent, static_cast<double>(groupWidth) - 2.0, false,
                                           false};
            offset += extent;
        }
    }
    window.invalidate(area);
}

void layoutHorizontalBand(const PanelModel& model, const Rect& client, PanelLayout& layout,
                          platform::BandWindow& window) {
    const double scale = layout.scale;
    const std::int64_t clientHeight = static_cast<std::int64_t>(client.bottom) - client.top;
    std::int64_t x = platform::scaledPixels(model.horizontalPadding, scale);
    // The top offset carries over from one group to the next.
    std::int64_t top = platform::scaledPixels(model.verticalPadding, scale);
    for (std::size_t index = 0; index < model.groups.size(); ++index) {
        const MeterGroup& group = model.groups[index];
        const std::int64_t maxHeight = platform::scaledPixels(group.maxHeight, scale);
        if (clientHeight - 2 * top > maxHeight) {
            top = roundToInt32(static_cast<double>(clientHeight) * 0.5 -
                               static_cast<double>(maxHeight) * 0.5);
        }
        const std::int64_t width = sizeOr(group.width, sumOfExtents(model, group, scale), scale);
        const std::int64_t height =
            sizeOr(group.height, std::min(clientHeight - 2 * top, maxHeight), scale);
        GroupPlacement& placed = layout.groups[index];
        placed = {makeRect(x, top, x + width, top + height), group.orientation};
        layoutGroup(model, group, placed, BandDirection::Horizontal, layout, window);
        x = clampToInt32(x + width + platform::scaledPixels(model.horizontalSpacing, scale));
    }
}

void layoutVerticalBand(const PanelModel& model, const Rect& client, PanelLayout& layout,
                        platform::BandWindow& window) {
    const std::int64_t clientWidth = static_cast<std::int64_t>(client.right) - client.left;
    const std::int64_t clientHeight = static_cast<std::int64_t>(client.bottom) - client.top;
    const double scale = layout.scale;
    const std::int64_t horizontalPadding = platform::scaledPixels(model.horizontalPadding, scale);
    const std::int64_t verticalPadding = platform::scaledPixels(model.verticalPadding, scale);
    std::int64_t y = verticalPadding;
    for (std::size_t index = 0; index < model.groups.size(); ++index) {
        const MeterGroup& group = model.groups[index];
        const std::int64_t sum = sumOfExtents(model, group, scale);
        const std::int64_t maxHeight = platform::scaledPixels(group.maxHeight, scale);
        // Whether the meters fit across the band decides the arrangement, whatever
        // orientation the group was given.
        const bool sideBySide = sum < clientWidth;
        std::int64_t across = 0;
        std::int64_t along = 0;
        if (sideBySide) {
            across = sizeOr(group.width, sum, scale);
            along = sizeOr(group.height, std::min(clientHeight - 2 * verticalPadding, maxHeight),
                           scale);
        } else {
            // Turned on its side: the configured height runs across the band.
            along = sizeOr(group.width, sum, scale);
            across = sizeOr(group.height, std::min(clientWidth - 2 * horizontalPadding, maxHeight),
                            scale);
        }
        const std::int64_t left = roundToInt32(static_cast<double>(clientWidth - across) * 0.5);
        GroupPlacement& placed = layout.groups[index];
        placed = {makeRect(left, y, left + across, y + along),
                  sideBySide ? GroupOrientation::Horizontal : GroupOrientation::Unknown};
        layoutGroup(model, group, placed, BandDirection::Vertical, layout, window);
        y = clampToInt32(y + along + platform::scaledPixels(model.verticalSpacing, scale));
    }
}

}  // namespace

std::int32_t meterExtent(const Meter& meter, double scale) {
    return std::max(platform::scaledPixels(meter.width, scale), std::int32_t{0});
}

InclusiveRect drawnArea(const MeterPlacement& placement) {
    const Rect& rect = placement.rect;
    const std::int64_t extentRight = std::int64_t{rect.left} + placement.extent;
    return {rect.left, rect.top, std::max(rect.right, clampToInt32(extentRight)), rect.bottom};
}

void layoutPanel(const PanelModel& model, BandDirection direction, const Rect& client, double scale,
                 PanelLayout& layout, platform::BandWindow& window) {
    layout.scale = scale;
    // Every meter of a loaded model belongs to a group; one left out of them (a load
    // that failed part way) keeps an empty placement.
    layout.groups.assign(model.groups.size(), GroupPlacement{});
    layout.meters.assign(model.meters.size(), MeterPlacement{});
    if (direction == BandDirection::Horizontal) {
        layoutHorizontalBand(model, client, layout, window);
    } else {
        layoutVerticalBand(model, client, layout, window);
    }
}

}  // namespace tavisto
