#pragma once
// The meter kinds. Each routine opens its own drawing session on the surface and draws
// the meter's samples into its placement, which the caller has already cleared, noting
// in the meter's frame entry what it drew. Colours written "auto" follow the theme.

#include <cstdint>

#include "config/meter_model.h"
#include "platform/drawing.h"
#include "platform/platform.h"
#include "render/layout.h"
#include "render/meter_frame.h"
#include "sampling/meter_samples.h"

namespace tavisto {

// What every meter of a frame is drawn for.
struct DrawSettings {
    platform::TaskbarTheme theme = platform::TaskbarTheme::Dark;
    // Text is drawn with the system's newer text rendering (Windows 10 and later).
    bool windows10OrLater = false;
    // Device pixels per pixel of the model: the layout's scale, which font sizes follow.
    double scale = 1.0;
    // How the user's locale writes the numbers of text meters.
    platform::NumberSeparators numbers{};
};

// Column meter: columns placed side by side in its group, bars stacked.
void drawColumnMeter(const Meter& meter, const MeterSamples& samples,
                     const MeterPlacement& placement, MeterFrame& frame,
                     platform::MemorySurface& surface, platform::TaskbarTheme theme);

// Column meter placed side by side: one column per counter, stacked upward from the
// bottom, with an outline of the meter's colour.
void drawColumnVariant(const Meter& meter, const MeterSamples& samples,
                       const MeterPlacement& placement, MeterFrame& frame,
                       platform::MemorySurface& surface, platform::TaskbarTheme theme);

// Column meter placed stacked: one bar per counter, continued rightward from the left.
void drawBarVariant(const Meter& meter, const MeterSamples& samples,
                    const MeterPlacement& placement, MeterFrame& frame,
                    platform::MemorySurface& surface, platform::TaskbarTheme theme);

// One sector per counter, clockwise from twelve o'clock, with a circular outline.
void drawPieMeter(const Meter& meter, const MeterSamples& samples, const MeterPlacement& placement,
                  MeterFrame& frame, platform::MemorySurface& surface,
                  platform::TaskbarTheme theme);

// One right-aligned line per counter: the value formatted with the counter's units; a
// counter that lists its largest instances takes a line for each place in the list,
// the instance's name at the left and its value at the right.
void drawTextMeter(const Meter& meter, const MeterSamples& samples, const MeterPlacement& placement,
                   MeterFrame& frame, platform::MemorySurface& surface,
                   const DrawSettings& settings);

// One centred line per counter: its indicator text while its trigger holds.
void drawIndicatorMeter(const Meter& meter, const MeterSamples& samples,
                        const MeterPlacement& placement, MeterFrame& frame,
                        platform::MemorySurface& surface, const DrawSettings& settings);

// Whether a column meter's bars, or a pie meter's sectors, measured from its counters'
// current values, are the ones it last drew.
bool showsLastDrawnBars(const Meter& meter, const MeterSamples& samples,
                        const MeterPlacement& placement, const MeterFrame& frame,
                        const DrawSettings& settings);
bool showsLastDrawnSectors(const Meter& meter, const MeterSamples& samples,
                           const MeterPlacement& placement, const MeterFrame& frame,
                           const DrawSettings& settings);

// Whether a text meter's, or an indicator meter's, lines made from its counters' current
// values are the ones it last drew.
bool showsLastDrawnText(const Meter& meter, const MeterSamples& samples,
                        const MeterPlacement& placement, const MeterFrame& frame,
                        const DrawSettings& settings);
bool showsLastDrawnIndicators(const Meter& meter, const MeterSamples& samples,
                              const MeterPlacement& placement, const MeterFrame& frame,
                              const DrawSettings& settings);

// History graph: each counter's samples, newest at the right (horizontal band) or at
// the bottom (vertical band), as areas or lines from the baseline, first counter at
// the back, with an outline of the meter's colour whose four sides all show.
void drawGraphMeter(const Meter& meter, const MeterSamples& samples,
                    const MeterPlacement& placement, MeterFrame& frame,
                    platform::MemorySurface& surface, platform::TaskbarTheme theme);

// How many samples a graph at this placement shows: its extent along the band less the
// outline's last side.
std::size_t graphHistoryCapacity(const MeterPlacement& placement);

enum class GraphShift : std::uint8_t {
    Shifted,
    Unchanged,     // every sample across the graph draws alike: shifting changes no pixel
    NeedsDrawing,  // nothing was drawn; the whole graph must be
};

// After a new sample: shifts the graph's pixels by one sample and draws the newest one,
// when the back buffer still holds this graph as last drawn at the same place, theme
// and value ranges. When the picture held only alike samples (see GraphPixels) and no
// earlier neighbour drew over the graph since, and the newest sample is alike too,
// shifting would change no pixel: nothing is drawn.
GraphShift shiftGraphMeter(const Meter& meter, const MeterSamples& samples,
                           const MeterPlacement& placement, MeterFrame& frame,
                           platform::MemorySurface& surface, const DrawSettings& settings);

}  // namespace tavisto
