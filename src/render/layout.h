#pragma once
// Places groups and meters in the band window's client area.

#include <cstdint>

#include "config/meter_model.h"
#include "platform/geometry.h"
#include "platform/platform.h"

namespace tavisto {

// A meter's extent along its group's direction of arrangement. A meter without a
// configured width (or with a negative one) takes no room: a negative extent would
// invert its rectangle and pull its neighbours back over it.
std::int32_t meterExtent(const Meter& meter);

// What a meter draws into: its rectangle, and also its own width measured from its left
// edge, which text lines and the pie use even where a stacked group is narrower than
// the meter. Its right column and bottom row are drawn into as well.
Rect drawnArea(const Meter& meter);

// Lays out every group and meter for the band direction, invalidates each group's
// rectangle and finds, for each meter, the later meters of its rate whose drawn areas
// meet its own. A horizontal band places every group's meters side by side; a vertical
// one where they fit across it, and stacks them otherwise.
void layoutPanel(PanelModel& model, bool horizontalBand, const Rect& client,
                 platform::BandWindow& window);

// Places the group's meters inside its rectangle and invalidates that rectangle. Meters
// go side by side on a horizontal band or when the group was laid out "horizontal",
// otherwise they are stacked top to bottom.
void layoutGroup(MeterGroup& group, bool horizontalBand, platform::BandWindow& window);

}  // namespace tavisto
