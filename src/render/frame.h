#pragma once
// Drawing meters into the memory surface's back buffer: what the sampler took of each
// meter, at its placement in the panel's layout, keeping the frame cache of what its
// pixels show.

#include <cstddef>
#include <span>

#include "config/meter_model.h"
#include "platform/platform.h"
#include "render/layout.h"
#include "render/meter_frame.h"
#include "render/meters.h"
#include "sampling/meter_samples.h"

namespace tavisto {

// Clears the meter's drawn area to transparent and draws it by its meter type, with
// "auto" colours for the taskbar theme.
void drawMeter(const Meter& meter, const MeterSamples& samples, const MeterPlacement& placement,
               MeterFrame& frame, platform::MemorySurface& surface, const DrawSettings& settings);

// Draws a meter whose counters have just been sampled, unless its pixels already show
// these values; returns whether it drew. A graph, whose history has just taken the new
// samples, shifts its pixels where it can instead of drawing the whole history again.
bool drawSampledMeter(const Meter& meter, const MeterSamples& samples,
                      const MeterPlacement& placement, MeterFrame& frame,
                      platform::MemorySurface& surface, const DrawSettings& settings);

// Draws the sampled meters of one rate, in order: those whose pixels no longer show
// their values, and after them the later ones sharing pixels with them. Returns
// whether any drew. `meters` are indices into the model's meters.
bool drawSampledMeters(const PanelModel& model, std::span<const std::size_t> meters,
                       const PanelSamples& samples, const PanelLayout& layout, FrameCache& frames,
                       platform::MemorySurface& surface, const DrawSettings& settings);

// After layout and rebuildFrameCache: replaces the back buffer with one of the client
// size and draws every meter, rates in ascending order.
void redrawFrame(const PanelModel& model, const PanelSamples& samples, const PanelLayout& layout,
                 FrameCache& frames, const Rect& client, platform::MemorySurface& surface,
                 const DrawSettings& settings);

}  // namespace tavisto
