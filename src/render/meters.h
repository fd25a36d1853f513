#pragma once
// The meter kinds. Each routine opens its own drawing session on the surface, asks
// every counter for its current value once and draws into the meter's rectangle,
// which the caller has already cleared.

#include "config/meter_model.h"
#include "platform/drawing.h"

namespace tavisto {

// Column meter placed side by side: one column per counter, stacked upward from the
// bottom, with an outline of the meter's colour.
void drawColumnVariant(Meter& meter, platform::MemorySurface& surface);

// Column meter placed stacked: one bar per counter, continued rightward from the left.
void drawBarVariant(Meter& meter, platform::MemorySurface& surface);

// One sector per counter, clockwise from twelve o'clock, with a circular outline.
void drawPieMeter(Meter& meter, platform::MemorySurface& surface);

// One right-aligned line per counter: the value formatted with the counter's units.
void drawTextMeter(Meter& meter, platform::MemorySurface& surface);

// One centred line per counter: its indicator text while its trigger holds.
void drawIndicatorMeter(Meter& meter, platform::MemorySurface& surface);

}  // namespace tavisto
