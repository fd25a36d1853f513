#pragma once
// What each meter kind does on the screen, one entry per kind in MeterType order beside
// config's kMeterKinds: how it draws, whether pixels drawn from other values still show
// the current ones, how it follows a new sample, how long a history its placement
// holds, and what it says of a counter. Its drawing lives in its own file (meters.h).

#include <array>
#include <cstddef>
#include <string>

#include "config/meter_kinds.h"
#include "config/meter_model.h"
#include "platform/drawing.h"
#include "render/layout.h"
#include "render/meter_frame.h"
#include "render/meters.h"
#include "render/spoken_values.h"
#include "sampling/meter_samples.h"

namespace tavisto {

struct MeterDrawing {
    using Draw = void (*)(const Meter&, const MeterSamples&, const MeterPlacement&, MeterFrame&,
                          platform::MemorySurface&, const DrawSettings&);
    using ShowsValues = bool (*)(const Meter&, const MeterSamples&, const MeterPlacement&,
                                 const MeterFrame&, const DrawSettings&);
    using Shift = GraphShift (*)(const Meter&, const MeterSamples&, const MeterPlacement&,
                                 MeterFrame&, platform::MemorySurface&, const DrawSettings&);
    using HistoryCapacity = std::size_t (*)(const MeterPlacement&);
    using Speak = void (*)(std::u16string&, const TextTable&, const MeterCounter&,
                           const CounterSamples&, const platform::NumberSeparators&);

    MeterType type;
    // Into its area, already cleared; none leaves the area transparent.
    Draw draw = nullptr;
    // Whether what it last drew, from other values, is also what the current values
    // draw (the same values always are); none: only the same values.
    ShowsValues showsCurrentValues = nullptr;
    // After a new sample, in place of the whole drawing where the pixels allow.
    Shift shift = nullptr;
    // The samples its histories keep at a placement; exactly for kinds that keep one.
    HistoryCapacity historyCapacity = nullptr;
    // What it says of one counter; none: nothing.
    Speak speak = nullptr;
};

// Kinds drawn in the taskbar's theme alone.
template <void (*DrawInTheme)(const Meter&, const MeterSamples&, const MeterPlacement&, MeterFrame&,
                              platform::MemorySurface&, platform::TaskbarTheme)>
void drawInTheme(const Meter& meter, const MeterSamples& samples, const MeterPlacement& placement,
                 MeterFrame& frame, platform::MemorySurface& surface,
                 const DrawSettings& settings) {
    DrawInTheme(meter, samples, placement, frame, surface, settings.theme);
}

inline constexpr std::array<MeterDrawing, kMeterKindCount + 1> kMeterDrawings{{
    {.type = MeterType::Column,
     .draw = drawInTheme<drawColumnMeter>,
     .showsCurrentValues = showsLastDrawnBars,
     .speak = speakShare},
    {.type = MeterType::Pie,
     .draw = drawInTheme<drawPieMeter>,
     .showsCurrentValues = showsLastDrawnSectors,
     .speak = speakShare},
    {.type = MeterType::Text,
     .draw = drawTextMeter,
     .showsCurrentValues = showsLastDrawnText,
     .speak = speakLine},
    {.type = MeterType::Indicator,
     .draw = drawIndicatorMeter,
     .showsCurrentValues = showsLastDrawnIndicators,
     .speak = speakIndicator},
    {.type = MeterType::Graph,
     .draw = drawInTheme<drawGraphMeter>,
     .shift = shiftGraphMeter,
     .historyCapacity = graphHistoryCapacity,
     .speak = speakShare},
    {.type = MeterType::Unknown},
}};

static_assert(inMeterTypeOrder(kMeterDrawings));
static_assert([] {
    for (std::size_t index = 0; index < kMeterDrawings.size(); ++index) {
        if ((kMeterDrawings[index].historyCapacity != nullptr) != kMeterKinds[index].keepsHistory) {
            return false;
        }
    }
    return true;
}());

constexpr const MeterDrawing& meterDrawing(MeterType type) {
    return kMeterDrawings[static_cast<std::size_t>(type)];
}

}  // namespace tavisto
