#pragma once
// The meter kinds. Each routine opens its own drawing session on the surface, asks
// every counter for its current value once and draws into the meter's placement,
// which the caller has already cleared, noting in the meter's frame entry what it drew.
// Colours written "auto" follow the theme.

#include <cstdint>

#include "config/meter_model.h"
#include "platform/drawing.h"
#include "render/layout.h"
#include "render/meter_frame.h"

namespace tavisto {

// What every meter of a frame is drawn for.
struct DrawSettings {
    platform::TaskbarTheme theme = platform::TaskbarTheme::Dark;
    // Text is drawn with the system's newer text rendering (Windows 10 and later).
    bool windows10OrLater = false;
};

// Column meter placed side by side: one column per counter, stacked upward from the
// bottom, with an outline of the meter's colour.
void drawColumnVariant(Meter& meter, const MeterPlacement& placement, MeterFrame& frame,
                       platform::MemorySurface& surface, platform::TaskbarTheme theme);

// Column meter placed stacked: one bar per counter, continued rightward from the left.
void drawBarVariant(Meter& meter, const MeterPlacement& placement, MeterFrame& frame,
                    platform::MemorySurface& surface, platform::TaskbarTheme theme);

// One sector per counter, clockwise from twelve o'clock, with a circular outline.
void drawPieMeter(Meter& meter, const MeterPlacement& placement, MeterFrame& frame,
                  platform::MemorySurface& surface, platform::TaskbarTheme theme);

// One right-aligned line per counter: the value formatted with the counter's units.
void drawTextMeter(Meter& meter, const MeterPlacement& placement, MeterFrame& frame,
                   platform::MemorySurface& surface, const DrawSettings& settings);

// One centred line per counter: its indicator text while its trigger holds.
void drawIndicatorMeter(Meter& meter, const MeterPlacement& placement, MeterFrame& frame,
                        platform::MemorySurface& surface, const DrawSettings& settings);

// Whether a column or pie meter's bars or sectors, measured from its counters' current
// values, are the ones it last drew. False for the other kinds.
bool showsLastDrawnShapes(Meter& meter, const MeterPlacement& placement, const MeterFrame& frame);

// Whether a text or indicator meter's lines, made from its counters' current values,
// are the ones it last drew. False for the other kinds.
bool showsLastDrawnLines(Meter& meter, const MeterFrame& frame);

// History graph: each counter's samples, newest at the right (horizontal band) or at
// the bottom (vertical band), as areas or lines from the baseline, first counter at
// the back, with an outline of the meter's colour whose four sides all show. Sizes the
// histories to the meter's extent less the outline's last side first, keeping the
// newest samples.
void drawGraphMeter(Meter& meter, const MeterPlacement& placement, MeterFrame& frame,
                    platform::MemorySurface& surface, platform::TaskbarTheme theme);

// Adds every counter's value to its history, sized as drawGraphMeter sizes it.
void recordGraphSamples(Meter& meter, const MeterPlacement& placement);

enum class GraphShift : std::uint8_t {
    Shifted,
    Unchanged,     // every sample across the graph draws alike: shifting changes no pixel
    NeedsDrawing,  // nothing was drawn; the whole graph must be
};

// Whether the graph as last drawn holds a sample at every position and every one fills
// as many pixels as the newest: all its columns are alike.
bool graphDrawsEverySampleAlike(const Meter& meter, const MeterPlacement& placement,
                                const MeterFrame& frame);

// After recordGraphSamples: shifts the graph's pixels by one sample and draws the
// newest one, when the back buffer still holds this graph as last drawn at the same
// place, theme and value ranges. When `pictureAlike` (graphDrawsEverySampleAlike before
// the newest sample, and nothing else drew over the graph since) and the newest sample
// is alike too, shifting would change no pixel: nothing is drawn.
GraphShift shiftGraphMeter(Meter& meter, const MeterPlacement& placement, const MeterFrame& frame,
                           platform::MemorySurface& surface, platform::TaskbarTheme theme,
                           bool pictureAlike);

}  // namespace tavisto
