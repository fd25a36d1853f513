// The tick of a 100-pixel history graph (shift the drawn pixels, draw the newest
// sample) against the tick of a column meter (clear, fill, outline), both drawn by the
// Cairo surface into one back buffer. Also measured: the graph drawn in full, as after
// a resize or a change of its dynamic range. Prints the ratios after the runs.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cpu_time_reporter.h"
#include "platform/linux/cairo_surface.h"
#include "render/frame.h"
#include "render/meters.h"
#include "sampling/counter_value.h"

namespace {

using tavisto::Meter;
using tavisto::MeterCounter;
using tavisto::Rect;
using tavisto::platform::TaskbarTheme;

constexpr int kTaskbarHeight = 40;

// A meter with the placement, the samples and the frame entry a panel keeps for it.
struct PlacedMeter {
    Meter meter;
    tavisto::MeterPlacement placement;
    tavisto::MeterSamples samples;
    tavisto::MeterFrame frame;
};

PlacedMeter meterOf(const char16_t* type, Rect rect) {
    PlacedMeter placed;
    Meter& meter = placed.meter;
    meter.meterType = tavisto::closedSetValue<tavisto::MeterType>(type, tavisto::kMeterTypes);
    meter.color = tavisto::parseColour(u"#C0C0C0");
    placed.placement.rect = rect;
    meter.width = rect.width();
    placed.placement.extent = rect.width();
    placed.placement.barLength = rect.height() - 2.0;
    MeterCounter counter;
    counter.color = tavisto::parseColour(u"#3080FF");
    counter.minValue = 0.0;
    counter.maxValue = 100.0;
    counter.references["a"] = tavisto::CounterReference{
        tavisto::CounterReference::PerformanceCounter, u"\\Processor(_Total)\\% Processor Time"};
    meter.counters.push_back(std::move(counter));
    placed.samples = tavisto::initialSamples(meter);
    for (tavisto::CounterSamples& samples : placed.samples.counters) {
        samples.history.resize(tavisto::graphHistoryCapacity(placed.placement));
    }
    return placed;
}

// A new sample taken and drawn, as a tick does.
void tickWith(PlacedMeter& placed, double value, tavisto::platform::MemorySurface& surface) {
    placed.samples.counters[0].references[0].value = value;
    tavisto::takeSamples(placed.meter, placed.samples);
    tavisto::drawSampledMeter(placed.meter, placed.samples, placed.placement, placed.frame, surface,
                              tavisto::DrawSettings{TaskbarTheme::Dark});
}

// A new value every tick, inside the fixed range: the graph's pixels can always shift.
double nextValue(int& step) {
    step = (step + 37) % 101;
    return static_cast<double>(step);
}

void tickMeter(benchmark::State& state, const char16_t* type, int width) {
    tavisto::platform::CairoSurface surface;
    surface.replaceBackBuffer(width + 20, kTaskbarHeight);
    PlacedMeter meter = meterOf(type, Rect{10, 0, 10 + width, kTaskbarHeight});
    int step = 0;
    // Fill the history first, so that every measured tick moves a full graph.
    for (int warm = 0; warm < width; ++warm) {
        tickWith(meter, nextValue(step), surface);
    }
    for (auto _ : state) {
        tickWith(meter, nextValue(step), surface);
    }
    benchmark::DoNotOptimize(surface.pixel(10 + width - 1, kTaskbarHeight - 2));
}

void columnTick(benchmark::State& state) {
    tickMeter(state, u"column", 12);
}

void graphTick(benchmark::State& state) {
    tickMeter(state, u"graph", 100);
}

// The whole history drawn again, as every tick would without shifting.
void graphFullDrawing(benchmark::State& state) {
    tavisto::platform::CairoSurface surface;
    surface.replaceBackBuffer(120, kTaskbarHeight);
    PlacedMeter meter = meterOf(u"graph", Rect{10, 0, 110, kTaskbarHeight});
    int step = 0;
    for (int warm = 0; warm < 100; ++warm) {
        tickWith(meter, nextValue(step), surface);
    }
    for (auto _ : state) {
        tavisto::drawMeter(meter.meter, meter.samples, meter.placement, meter.frame, surface,
                           tavisto::DrawSettings{TaskbarTheme::Dark});
    }
}

void printRatios(const tavisto::bench::CpuTimeReporter& times) {
    if (!times.ran("column_tick")) {
        return;
    }
    const double column = times.nanoseconds("column_tick");
    std::printf("\n%-28s %10s %8s\n", "drawing", "CPU time", "ratio");
    for (const char* name : {"column_tick", "graph_tick", "graph_full_drawing"}) {
        if (times.ran(name)) {
            std::printf("%-28s %8.0fns %7.2fx\n", name, times.nanoseconds(name),
                        times.nanoseconds(name) / column);
        }
    }
    std::printf("ratio = time / column meter tick (goal for graph_tick: at most 3x)\n");
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::RegisterBenchmark("column_tick", &columnTick);
    benchmark::RegisterBenchmark("graph_tick", &graphTick);
    benchmark::RegisterBenchmark("graph_full_drawing", &graphFullDrawing);
    return tavisto::bench::runBenchmarks(argc, argv, printRatios);
}
