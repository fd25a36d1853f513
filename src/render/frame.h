#pragma once
// Drawing meters into the memory surface's back buffer.

#include "config/meter_model.h"
#include "platform/platform.h"

namespace tavisto {

// Clears the meter's rectangle to transparent and draws it by its meter type, with
// "auto" colours for the taskbar theme.
void drawMeter(Meter& meter, platform::MemorySurface& surface, platform::TaskbarTheme theme);

// Draws a meter whose counters have just been sampled. A graph takes the new samples
// into its history first and, where it can, shifts its pixels instead of drawing the
// whole history again.
void drawSampledMeter(Meter& meter, platform::MemorySurface& surface, platform::TaskbarTheme theme);

// Lays the panel out, replaces the back buffer with one of the client size and draws
// every meter, rates in ascending order.
void rebuildFrame(PanelModel& model, bool horizontalBand, platform::BandWindow& window,
                  platform::MemorySurface& surface, platform::TaskbarTheme theme);

}  // namespace tavisto
