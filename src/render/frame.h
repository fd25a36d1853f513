#pragma once
// Drawing meters into the memory surface's back buffer.

#include "config/meter_model.h"
#include "platform/platform.h"

namespace tavisto {

// Clears the meter's rectangle to transparent and draws it by its meter type.
void drawMeter(Meter& meter, platform::MemorySurface& surface);

// Lays the panel out, replaces the back buffer with one of the client size and draws
// every meter, rates in ascending order.
void rebuildFrame(PanelModel& model, bool horizontalBand, platform::BandWindow& window,
                  platform::MemorySurface& surface);

}  // namespace tavisto
