#pragma once
// A meter drawn alone, with the placement and the frame entry a panel keeps for it.

#include "config/meter_model.h"
#include "render/frame.h"
#include "render/layout.h"
#include "render/meter_frame.h"

namespace tavisto::testing {

struct PlacedMeter : Meter {
    MeterPlacement placement;
    MeterFrame frame;
};

inline void drawPlaced(PlacedMeter& meter, platform::MemorySurface& surface,
                       platform::TaskbarTheme theme, bool windows10OrLater = false) {
    drawMeter(meter, meter.placement, meter.frame, surface, DrawSettings{theme, windows10OrLater});
}

inline bool drawSampledPlaced(PlacedMeter& meter, platform::MemorySurface& surface,
                              platform::TaskbarTheme theme) {
    return drawSampledMeter(meter, meter.placement, meter.frame, surface, DrawSettings{theme});
}

}  // namespace tavisto::testing
