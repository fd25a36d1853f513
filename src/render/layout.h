#pragma once
// Places groups and meters in the band window's client area. The layout is computed
// from the model and the client area alone; the panel keeps it, and drawing reads a
// meter's placement under the meter's index.

#include <cstdint>
#include <vector>

#include "config/meter_model.h"
#include "platform/geometry.h"
#include "platform/platform.h"

namespace tavisto {

// Where layout put one meter.
struct MeterPlacement {
    Rect rect;
    // The meter's own width in device pixels, from the left edge of its rectangle: text
    // lines and the pie use it even where a stacked group is narrower than the meter.
    std::int32_t extent = 0;
    // The longest a column meter's part may be, across its group.
    double barLength = 0.0;
    // Side by side with its neighbours along a horizontal band: a graph then runs along x.
    bool sideBySide = true;
    // A column meter draws columns; stacked in its group, it draws bars.
    bool drawsColumns = true;
};

// Where layout put one group, and how it arranged the group's meters.
struct GroupPlacement {
    Rect rect;
    // The configured orientation on a horizontal band; on a vertical band "horizontal"
    // exactly when the meters fit across it.
    GroupOrientation orientation = GroupOrientation::Unknown;
};

struct PanelLayout {
    // Device pixels per pixel of the model (which is at 96 DPI) for the screen laid out for.
    double scale = 1.0;
    std::vector<GroupPlacement> groups;  // in the model's order
    std::vector<MeterPlacement> meters;  // by meter index

    const MeterPlacement& of(std::size_t meter) const { return meters[meter]; }
};

// A meter's extent along its group's direction of arrangement, in device pixels at
// `scale`. A meter without a configured width (or with a negative one) takes no room: a
// negative extent would invert its rectangle and pull its neighbours back over it.
std::int32_t meterExtent(const Meter& meter, double scale);

// What a meter draws into: its rectangle, and also its own extent from its left edge.
// Outlines reach its right column and bottom row.
InclusiveRect drawnArea(const MeterPlacement& placement);

// Lays out every group and meter of the model for the band direction into `layout`
// (reusing its storage), each size of the model scaled to device pixels at `scale`, and
// invalidates each group's rectangle. A horizontal band places every group's meters side
// by side; a vertical one where they fit across it, and stacks them otherwise.
void layoutPanel(const PanelModel& model, BandDirection direction, const Rect& client, double scale,
                 PanelLayout& layout, platform::BandWindow& window);

}  // namespace tavisto
