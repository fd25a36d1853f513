#include "render/layout.h"

#include <algorithm>
#include <limits>

#include "core/rounding.h"

namespace tavisto {
namespace {

Rect makeRect(std::int64_t left, std::int64_t top, std::int64_t right, std::int64_t bottom) {
    return {clampToInt32(left), clampToInt32(top), clampToInt32(right), clampToInt32(bottom)};
}

std::int64_t sumOfExtents(const MeterGroup& group) {
    std::int64_t sum = 0;
    for (const Meter* meter : group.meters) {
        sum += meterExtent(*meter);
    }
    return sum;
}

// The group's configured size, or the automatic one when it was not given.
std::int64_t sizeOr(std::int32_t configured, std::int64_t automatic) {
    return configured == -1 ? automatic : configured;
}

void place(MeterGroup& group, const Rect& rect, bool horizontalBand, GroupOrientation orientation,
           platform::BandWindow& window) {
    group.rect = rect;
    group.laidOutOrientation = orientation;
    layoutGroup(group, horizontalBand, window);
}

void layoutHorizontalBand(PanelModel& model, const Rect& client, platform::BandWindow& window) {
    const std::int64_t clientHeight = static_cast<std::int64_t>(client.bottom) - client.top;
    std::int64_t x = model.horizontalPadding;
    // The top offset carries over from one group to the next.
    std::int64_t top = model.verticalPadding;
    for (auto& group : model.groups) {
        const std::int64_t maxHeight = group->maxHeight;
        if (clientHeight - 2 * top > maxHeight) {
            top = roundToInt32(static_cast<double>(clientHeight) * 0.5 -
                               static_cast<double>(maxHeight) * 0.5);
        }
        const std::int64_t width = sizeOr(group->width, sumOfExtents(*group));
        const std::int64_t height =
            sizeOr(group->height, std::min(clientHeight - 2 * top, maxHeight));
        place(*group, makeRect(x, top, x + width, top + height), true, group->orientation, window);
        x = clampToInt32(x + width + model.horizontalSpacing);
    }
}

void layoutVerticalBand(PanelModel& model, const Rect& client, platform::BandWindow& window) {
    const std::int64_t clientWidth = static_cast<std::int64_t>(client.right) - client.left;
    const std::int64_t clientHeight = static_cast<std::int64_t>(client.bottom) - client.top;
    std::int64_t y = model.verticalPadding;
    for (auto& group : model.groups) {
        const std::int64_t sum = sumOfExtents(*group);
        // Whether the meters fit across the band decides the arrangement, whatever
        // orientation the group was given.
        const bool sideBySide = sum < clientWidth;
        std::int64_t across = 0;
        std::int64_t along = 0;
        if (sideBySide) {
            across = sizeOr(group->width, sum);
            along = sizeOr(group->height,
                           std::min(clientHeight - 2 * std::int64_t{model.verticalPadding},
                                    std::int64_t{group->maxHeight}));
        } else {
            // Turned on its side: the configured height runs across the band.
            along = sizeOr(group->width, sum);
            across = sizeOr(group->height,
                            std::min(clientWidth - 2 * std::int64_t{model.horizontalPadding},
                                     std::int64_t{group->maxHeight}));
        }
        const std::int64_t left = roundToInt32(static_cast<double>(clientWidth - across) * 0.5);
        place(*group, makeRect(left, y, left + across, y + along), false,
              sideBySide ? GroupOrientation::Horizontal : GroupOrientation::Unknown, window);
        y = clampToInt32(y + along + model.verticalSpacing);
    }
}

// Drawn areas include their right column and bottom row.
bool meet(const Rect& first, const Rect& second) {
    return first.left <= second.right && second.left <= first.right && first.top <= second.bottom &&
           second.top <= first.bottom;
}

void findLaterNeighbours(PanelModel& model) {
    for (auto& [rate, meters] : model.metersByRate) {
        for (std::size_t first = 0; first < meters.size(); ++first) {
            DrawnState& drawn = meters[first]->drawn;
            drawn.laterNeighbours.clear();
            const Rect area = drawnArea(*meters[first]);
            for (std::size_t later = first + 1; later < meters.size(); ++later) {
                if (meet(area, drawnArea(*meters[later]))) {
                    drawn.laterNeighbours.push_back(meters[later].get());
                }
            }
        }
    }
}

}  // namespace

std::int32_t meterExtent(const Meter& meter) {
    return std::max(meter.width, std::int32_t{0});
}

Rect drawnArea(const Meter& meter) {
    Rect area = meter.rect;
    const std::int64_t extentRight = std::int64_t{area.left} + meterExtent(meter);
    area.right = static_cast<std::int32_t>(std::clamp<std::int64_t>(
        extentRight, area.right, std::numeric_limits<std::int32_t>::max()));
    return area;
}

void layoutPanel(PanelModel& model, bool horizontalBand, const Rect& client,
                 platform::BandWindow& window) {
    if (horizontalBand) {
        layoutHorizontalBand(model, client, window);
    } else {
        layoutVerticalBand(model, client, window);
    }
    findLaterNeighbours(model);
}

void layoutGroup(MeterGroup& group, bool horizontalBand, platform::BandWindow& window) {
    const Rect& area = group.rect;
    const std::int64_t groupWidth = static_cast<std::int64_t>(area.right) - area.left;
    const std::int64_t groupHeight = static_cast<std::int64_t>(area.bottom) - area.top;
    const std::int64_t sum = sumOfExtents(group);
    if (horizontalBand || group.laidOutOrientation == GroupOrientation::Horizontal) {
        std::int64_t offset = floorToInt32(static_cast<double>(groupWidth - sum) * 0.5);
        for (Meter* meter : group.meters) {
            const std::int64_t left = area.left + offset;
            meter->rect = makeRect(left, area.top, left + meterExtent(*meter), area.bottom);
            meter->barLength = static_cast<double>(groupHeight) - 2.0;
            meter->sideBySide = horizontalBand;
            meter->drawsColumns = true;
            offset += meterExtent(*meter);
        }
    } else {
        std::int64_t offset = floorToInt32(static_cast<double>(groupHeight - sum) * 0.5);
        for (Meter* meter : group.meters) {
            const std::int64_t top = area.top + offset;
            meter->rect = makeRect(area.left, top, area.right, top + meterExtent(*meter));
            meter->barLength = static_cast<double>(groupWidth) - 2.0;
            meter->sideBySide = false;
            meter->drawsColumns = false;
            offset += meterExtent(*meter);
        }
    }
    window.invalidate(group.rect);
}

}  // namespace tavisto
