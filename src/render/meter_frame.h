#pragma once
// What the back buffer shows: for each meter index, what its pixels were last drawn
// from, so that a tick draws only the meters whose pixels would change. The panel keeps
// it beside the layout it was built for and rebuilds it with every layout; drawing is
// its only writer.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "config/meter_model.h"
#include "platform/drawing.h"
#include "platform/geometry.h"
#include "render/layout.h"

namespace tavisto {

// The value range a graph drew one counter with.
struct GraphRange {
    double bottom = 0.0;
    double top = 0.0;
    bool operator==(const GraphRange&) const = default;
};

// What a "graph" meter last drew. A tick may shift those pixels and draw only the
// newest sample while nothing else about the picture changed.
struct GraphPixels {
    bool valid = false;
    Rect rect;
    BandDirection direction = BandDirection::Horizontal;  // the way its samples run
    platform::TaskbarTheme theme = platform::TaskbarTheme::Dark;
    std::vector<GraphRange> ranges;  // one per counter
    // A sample at every position, each filling as many pixels as the newest: all its
    // columns are alike.
    bool everySampleAlike = false;
};

struct MeterFrame {
    // The pixels show `drawnValues` in `theme`.
    bool current = false;
    platform::TaskbarTheme theme = platform::TaskbarTheme::Dark;
    // The samples the meter was last drawn with: one per reference, counter by counter,
    // each counter's references in name order.
    std::vector<double> drawnValues;
    // How many times the meter's alerts had been raised or cleared when it was drawn.
    std::uint64_t drawnAlertChanges = 0;
    // "text" and "indicator" meters: the line last drawn for each counter.
    std::vector<std::u16string> drawnLines;
    // "column" and "pie" meters: each counter's bar pixels or whole sector degrees as
    // last drawn.
    std::vector<std::int64_t> drawnExtents;
    GraphPixels graph;
    // The indices of the meters later in the same rate's order whose drawn areas meet
    // this one's. When this meter draws, they draw after it, as they did when every
    // meter drew at every tick, so that the pixels they share end as before.
    std::vector<std::size_t> laterNeighbours;
    // An earlier meter drew over pixels this one shares with it.
    bool neighbourDrew = false;
};

// By meter index.
using FrameCache = std::vector<MeterFrame>;

// After layout: one entry per placed meter showing nothing yet, each with the later
// meters of its rate whose drawn areas meet its own. Reuses the cache's storage.
void rebuildFrameCache(const PanelModel& model, const PanelLayout& layout, FrameCache& cache);

}  // namespace tavisto
