#include "render/meter_frame.h"

#include <cstddef>
#include <string>

namespace tavisto {
namespace {

bool meet(const InclusiveRect& first, const InclusiveRect& second) {
    return first.left <= second.right && second.left <= first.right && first.top <= second.bottom &&
           second.top <= first.bottom;
}

// Sized for the meter's counters and references, showing nothing; storage is kept.
void resetMeterFrame(const Meter& meter, MeterFrame& frame) {
    std::size_t references = 0;
    for (const MeterCounter& counter : meter.counters) {
        references += counter.references.size();
    }
    frame.current = false;
    frame.theme = platform::TaskbarTheme::Dark;
    frame.drawnValues.assign(references, 0.0);
    frame.drawnLines.resize(meter.counters.size());
    for (std::u16string& line : frame.drawnLines) {
        line.clear();
    }
    frame.drawnExtents.assign(meter.counters.size(), 0);
    frame.graph.valid = false;
    frame.graph.ranges.clear();
    frame.laterNeighbours.clear();
    frame.neighbourDrew = false;
}

}  // namespace

void rebuildFrameCache(const PanelModel& model, const PanelLayout& layout, FrameCache& cache) {
    cache.resize(layout.meters.size());
    for (const auto& [rate, meters] : model.rates) {
        for (auto first = meters.begin(); first != meters.end(); ++first) {
            const Meter& meter = model.meters[*first];
            MeterFrame& frame = cache[*first];
            resetMeterFrame(meter, frame);
            const InclusiveRect area = drawnArea(layout.of(*first));
            for (auto later = first + 1; later != meters.end(); ++later) {
                if (meet(area, drawnArea(layout.of(*later)))) {
                    frame.laterNeighbours.push_back(*later);
                }
            }
        }
    }
}

}  // namespace tavisto
