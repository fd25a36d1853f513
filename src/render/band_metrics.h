#pragma once
// The band's sizes as the taskbar asks for them: its length along the taskbar and its
// minimum and actual thickness across it, from the panel's paddings, spacings and the
// groups as laid out. Each is 0 for an empty model.

#include <cstdint>

#include "config/meter_model.h"
#include "platform/geometry.h"
#include "render/layout.h"

namespace tavisto {

// 2 × horizontal padding plus each group's extent along the band and the spacing
// after it. The padding term is the horizontal one in both directions.
std::int32_t bandLength(const PanelModel& model, const PanelLayout& layout,
                        BandDirection direction);

// The largest group need across the band: 2 × vertical padding plus the larger of the
// group's configured minimum and the sum of its meters' configured sizes across it.
std::int32_t minimumThickness(const PanelModel& model, const PanelLayout& layout,
                              BandDirection direction);

// The largest laid-out group extent across the band plus 2 × vertical padding.
std::int32_t actualThickness(const PanelModel& model, const PanelLayout& layout,
                             BandDirection direction);

}  // namespace tavisto
