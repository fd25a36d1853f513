// The band's cost per tick and per reload on the Cairo surface, against its floor:
//  - tick: one tick of every refresh rate of a running panel, against collecting the
//    same counters and rasterising the same primitives with fonts made in advance
//    (the primitives are recorded from the engine's own drawing, and replaying them is
//    checked to give the same pixels);
//  - heap allocations per steady-state tick, counted by the replaced operator new;
//  - reload (read + parse + load + layout + first full draw), against reading and
//    parsing the text plus rasterising one full frame, taken in turn.
// Deterministic counters (the preview's demo sources) change at every collection.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "config/configuration_text.h"
#include "config/counter_references.h"
#include "cpu_time_reporter.h"
#include "panel/meter_panel.h"
#include "platform/linux/cairo_surface.h"
#include "platform/steady_clock.h"
#include "preview/demo_sources.h"
#include "preview/headless_platform.h"
#include "render/band_metrics.h"
#include "sampling/counter_instances.h"
#include "sampling/performance_fields.h"
#include "support/stress_configuration.h"

namespace {

// Heap allocations made through operator new while counting is on.
bool countingAllocations = false;
std::uint64_t allocationCount = 0;

}  // namespace

void* operator new(std::size_t size) {
    if (countingAllocations) {
        ++allocationCount;
    }
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
        return memory;
    }
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept {
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}

namespace tavisto {
namespace {

using platform::CairoSurface;
using platform::Canvas;
using platform::Font;
using platform::MemorySurface;
using platform::RenderQuality;
using platform::TextAlignment;
using testing::stressConfiguration;

constexpr int kBandThickness = 40;
// Ticks of every rate recorded for the floor; the floor replays them in turn.
constexpr int kRecordedRounds = 8;

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Configuration {
    const char* name;
    std::filesystem::path file;
};

std::vector<Configuration>& configurations() {
    static std::vector<Configuration> all;
    return all;
}

// The configurations as files, read back by every benchmark as the band reads them.
void writeConfigurations() {
    const auto folder = std::filesystem::temp_directory_path();
    configurations().push_back(
        {"example", std::filesystem::path(TAVISTO_SOURCE_DIR) / "examples/TavistoConfig.json"});
    // The example with an alert on every counter: each tick compares every value, and
    // colours and words follow the alerts raised.
    nlohmann::json alerted =
        nlohmann::json::parse(std::ifstream(configurations().back().file), nullptr, true, true);
    for (auto& group : alerted["meterGroups"]) {
        for (auto& meter : group["meters"]) {
            for (auto& counter : meter["counters"]) {
                counter["alert"] = {{"above", 50}, {"clear", 40}, {"for", 1000}, {"notify", true}};
            }
        }
    }
    const auto alertedFile = folder / "tavisto-bench-example-alerted.json";
    std::ofstream(alertedFile) << alerted.dump(2);
    configurations().push_back({"example_alerted", alertedFile});
    const std::pair<const char*, bool> stress[] = {{"stress", false},
                                                   {"stress_single_references", true}};
    for (const auto& [name, single] : stress) {
        const auto file = folder / (std::string("tavisto-bench-") + name + ".json");
        std::ofstream(file) << stressConfiguration(single).dump(2);
        configurations().push_back({name, file});
    }
}

// A panel on the preview's platform, sized to its band length in a horizontal taskbar.
class Band {
  public:
    Band(const std::filesystem::path& file, platform::SurfaceFactory& surfaces)
        : surfaces_(surfaces) {
        window_.client = Rect{0, 0, 8192, kBandThickness};
        std::string error;
        panel_ = MeterPanel::create(services(), readFile(file), BandDirection::Horizontal, error);
        if (!panel_) {
            throw std::runtime_error(error);
        }
        window_.client = Rect{
            0, 0,
            std::max(bandLength(panel_->model(), panel_->layout(), BandDirection::Horizontal), 1),
            kBandThickness};
        panel_->relayout(BandDirection::Horizontal);
    }

    platform::PlatformServices services() {
        return {screen_, version_, counters_,  performance_, sensors_, window_,
                timers_, tooltips_, surfaces_, theme_,       locale_,  clock_};
    }
    MeterPanel& panel() { return *panel_; }
    Rect client() const { return window_.client; }

    // One tick of every rate, as the timers of a running band would fire them.
    void tickEveryRate() {
        for (const auto& [rate, meters] : panel_->model().rates) {
            panel_->tick(rate);
        }
    }

  private:
    preview::FixedScreen screen_{96};
    preview::NotWindows version_;
    preview::DemoCounters counters_;
    preview::DemoPerformance performance_;
    preview::DemoSensors sensors_;
    preview::PreviewWindow window_;
    preview::ManualTimers timers_;
    preview::HeadlessTooltips tooltips_;
    platform::SurfaceFactory& surfaces_;
    preview::FixedTheme theme_{platform::TaskbarTheme::Dark};
    preview::EnglishLocale locale_;
    platform::SteadyClock clock_;
    std::unique_ptr<MeterPanel> panel_;
};

// One drawing primitive with its arguments, as the engine called it.
struct Primitive {
    enum Kind {
        Clear,
        Scroll,
        Quality,
        FillRectangle,
        OutlineRectangle,
        FillPie,
        OutlineEllipse,
        Text,
        Line
    };
    Kind kind = Clear;
    Rect area;
    InclusiveRect cleared;
    RenderQuality quality = RenderQuality::Shapes;
    Argb color = 0;
    int x = 0, y = 0, width = 0, height = 0;
    float startAngle = 0.0F, sweepAngle = 0.0F;
    std::u16string text;
    std::u16string family;
    float fontSize = 0.0F;
    RectF layout;
    TextAlignment alignment = TextAlignment::Near;
    TextAlignment lineAlignment = TextAlignment::Near;
    const Font* font = nullptr;  // resolved in advance for the replay
};

// Fonts created by the recorder remember what they were asked for.
class RecordedFont final : public Font {
  public:
    RecordedFont(std::unique_ptr<Font> real, std::u16string_view familyName, float size)
        : drawn(std::move(real)), family(familyName), sizePixels(size) {}
    std::unique_ptr<Font> drawn;
    std::u16string family;
    float sizePixels;
};

// Draws on the Cairo surface and appends every primitive to `log`.
class RecordingCanvas final : public Canvas {
  public:
    RecordingCanvas(std::unique_ptr<Canvas> target, std::vector<Primitive>& log)
        : target_(std::move(target)), log_(log) {}

    void clearToTransparent(const InclusiveRect& area) override {
        record(Primitive::Clear).cleared = area;
        target_->clearToTransparent(area);
    }
    void scrollArea(const Rect& area, int dx, int dy) override {
        Primitive& scroll = record(Primitive::Scroll);
        scroll.area = area;
        scroll.x = dx;
        scroll.y = dy;
        target_->scrollArea(area, dx, dy);
    }
    void setQuality(RenderQuality quality) override {
        record(Primitive::Quality).quality = quality;
        target_->setQuality(quality);
    }
    void fillRectangle(Argb color, int x, int y, int width, int height) override {
        recordShape(Primitive::FillRectangle, color, x, y, width, height);
        target_->fillRectangle(color, x, y, width, height);
    }
    void outlineRectangle(Argb color, int x, int y, int width, int height) override {
        recordShape(Primitive::OutlineRectangle, color, x, y, width, height);
        target_->outlineRectangle(color, x, y, width, height);
    }
    void fillPie(Argb color, int x, int y, int width, int height, float startAngle,
                 float sweepAngle) override {
        Primitive& pie = recordShape(Primitive::FillPie, color, x, y, width, height);
        pie.startAngle = startAngle;
        pie.sweepAngle = sweepAngle;
        target_->fillPie(color, x, y, width, height, startAngle, sweepAngle);
    }
    void outlineEllipse(Argb color, int x, int y, int width, int height) override {
        recordShape(Primitive::OutlineEllipse, color, x, y, width, height);
        target_->outlineEllipse(color, x, y, width, height);
    }
    std::unique_ptr<Font> createFont(std::u16string_view family, float sizePixels) override {
        std::unique_ptr<Font> real = target_->createFont(family, sizePixels);
        if (!real) {
            return nullptr;
        }
        return std::make_unique<RecordedFont>(std::move(real), family, sizePixels);
    }
    void drawString(std::u16string_view text, const Font& font, Argb color, const RectF& layout,
                    TextAlignment alignment, TextAlignment lineAlignment) override {
        const auto& recorded = static_cast<const RecordedFont&>(font);
        recordText(Primitive::Text, text, recorded, color, layout, alignment).lineAlignment =
            lineAlignment;
        target_->drawString(text, *recorded.drawn, color, layout, alignment, lineAlignment);
    }
    // Measuring draws nothing, so the replay has nothing of it to repeat.
    float measureString(std::u16string_view text, const Font& font) override {
        return target_->measureString(text, *static_cast<const RecordedFont&>(font).drawn);
    }
    void drawLine(std::u16string_view text, const Font& font, Argb color, const RectF& layout,
                  TextAlignment alignment) override {
        const auto& recorded = static_cast<const RecordedFont&>(font);
        recordText(Primitive::Line, text, recorded, color, layout, alignment);
        target_->drawLine(text, *recorded.drawn, color, layout, alignment);
    }

  private:
    Primitive& record(Primitive::Kind kind) {
        log_.emplace_back().kind = kind;
        return log_.back();
    }
    // A line or wrapped text, in the font as it was asked for.
    Primitive& recordText(Primitive::Kind kind, std::u16string_view text,
                          const RecordedFont& font, Argb color, const RectF& layout,
                          TextAlignment alignment) {
        Primitive& line = record(kind);
        line.color = color;
        line.text = text;
        line.family = font.family;
        line.fontSize = font.sizePixels;
        line.layout = layout;
        line.alignment = alignment;
        return line;
    }
    Primitive& recordShape(Primitive::Kind kind, Argb color, int x, int y, int width, int height) {
        Primitive& shape = record(kind);
        shape.color = color;
        shape.x = x;
        shape.y = y;
        shape.width = width;
        shape.height = height;
        return shape;
    }

    std::unique_ptr<Canvas> target_;
    std::vector<Primitive>& log_;
};

class RecordingSurface final : public MemorySurface {
  public:
    bool replaceBackBuffer(int width, int height) override {
        return cairo.replaceBackBuffer(width, height);
    }
    std::unique_ptr<Canvas> beginDrawing() override {
        auto target = cairo.beginDrawing();
        if (!target) {
            return nullptr;
        }
        return std::make_unique<RecordingCanvas>(std::move(target), log);
    }
    CairoSurface cairo;
    std::vector<Primitive> log;
};

class RecordingSurfaceFactory final : public platform::SurfaceFactory {
  public:
    std::unique_ptr<MemorySurface> createMemorySurface() override {
        auto surface = std::make_unique<RecordingSurface>();
        last = surface.get();
        return surface;
    }
    RecordingSurface* last = nullptr;
};

// Everything a tick does that it cannot avoid: collect the rate's counters, read every
// reference, rasterise the recorded primitives with fonts made in advance.
class Floor {
  public:
    explicit Floor(const std::filesystem::path& file) {
        RecordingSurfaceFactory factory;
        Band band(file, factory);
        RecordingSurface& recorder = *factory.last;
        surface_.replaceBackBuffer(band.client().width(), band.client().height());

        // The full frame the last relayout drew, then rounds of ticks.
        fullFrame_ = std::move(recorder.log);
        recorder.log.clear();
        for (int round = 0; round < kRecordedRounds; ++round) {
            for (const auto& [rate, meters] : band.panel().model().rates) {
                band.panel().tick(rate);
                ticks_.push_back(std::move(recorder.log));
                recorder.log.clear();
            }
        }
        const PanelModel& model = band.panel().model();
        for (const auto& [rate, meters] : model.rates) {
            std::vector<Reference> references;
            auto scope = platform::PerformanceScope::PhysicalMemory;
            const platform::QueryHandle query = counters_.openQuery();
            for (const std::size_t meter : meters) {
                for (const MeterCounter& counter : model.meters[meter].counters) {
                    for (const auto& [name, reference] : counter.references) {
                        const bool read = reference.kind == CounterReference::PerformanceCounter;
                        references.push_back(
                            {reference.kind, reference.path,
                             read ? counters_.addCounter(query, reference.path) : 0,
                             read && hasWildcardInstance(reference.path)});
                        if (reference.kind != CounterReference::PerformanceCounter) {
                            scope = std::max(scope, performanceScopeOf(reference.path));
                        }
                    }
                }
            }
            rates_.push_back({query, std::move(references), scope});
        }
        resolveFonts(fullFrame_);
        for (auto& tick : ticks_) {
            resolveFonts(tick);
        }

        // The replay must draw exactly what the engine drew.
        auto canvas = surface_.beginDrawing();
        replay(fullFrame_, *canvas);
        for (const auto& tick : ticks_) {
            replay(tick, *canvas);
        }
        canvas.reset();
        for (int y = 0; y < band.client().height(); ++y) {
            for (int x = 0; x < band.client().width(); ++x) {
                if (surface_.pixel(x, y) != recorder.cairo.pixel(x, y)) {
                    throw std::runtime_error("the replay does not give the engine's pixels");
                }
            }
        }
    }

    // One tick of every rate.
    void tickEveryRate() {
        for (const Rate& rate : rates_) {
            collect(rate);
            auto canvas = surface_.beginDrawing();
            replay(ticks_[next_], *canvas);
            next_ = (next_ + 1) % ticks_.size();
        }
    }

    // What the first tick of every rate reads, as a reload takes it before its first frame.
    void collectEveryRate() {
        for (const Rate& rate : rates_) {
            collect(rate);
        }
    }

    // The whole frame as the last relayout drew it.
    void drawFullFrame() {
        surface_.replaceBackBuffer(surface_.width(), surface_.height());
        auto canvas = surface_.beginDrawing();
        replay(fullFrame_, *canvas);
    }

  private:
    struct Reference {
        std::int32_t kind;
        std::u16string path;
        platform::CounterHandle handle;
        bool wildcard;
    };
    struct Rate {
        platform::QueryHandle query;
        std::vector<Reference> references;
        platform::PerformanceScope performanceScope;
    };

    void collect(const Rate& rate) {
        counters_.collect(rate.query);
        std::optional<platform::PerformanceRecord> record;
        for (const Reference& reference : rate.references) {
            if (reference.kind == CounterReference::PerformanceCounter) {
                // A wildcard's instances are read and summed, as a path without "instances"
                // is.
                benchmark::DoNotOptimize(
                    reference.wildcard ? sumInstances(counters_.readInstances(reference.handle))
                                       : counters_.read(reference.handle));
                continue;
            }
            if (!record) {
                record = performance_.read(rate.performanceScope);
            }
            benchmark::DoNotOptimize(performanceFieldValue(reference.path, *record));
        }
    }

    void resolveFonts(std::vector<Primitive>& primitives) {
        for (Primitive& primitive : primitives) {
            if (primitive.kind != Primitive::Text && primitive.kind != Primitive::Line) {
                continue;
            }
            auto& font = fonts_[{primitive.family, primitive.fontSize}];
            if (!font) {
                font = surface_.beginDrawing()->createFont(primitive.family, primitive.fontSize);
            }
            primitive.font = font.get();
        }
    }

    static void replay(const std::vector<Primitive>& primitives, Canvas& canvas) {
        for (const Primitive& p : primitives) {
            switch (p.kind) {
                case Primitive::Clear:
                    canvas.clearToTransparent(p.cleared);
                    break;
                case Primitive::Scroll:
                    canvas.scrollArea(p.area, p.x, p.y);
                    break;
                case Primitive::Quality:
                    canvas.setQuality(p.quality);
                    break;
                case Primitive::FillRectangle:
                    canvas.fillRectangle(p.color, p.x, p.y, p.width, p.height);
                    break;
                case Primitive::OutlineRectangle:
                    canvas.outlineRectangle(p.color, p.x, p.y, p.width, p.height);
                    break;
                case Primitive::FillPie:
                    canvas.fillPie(p.color, p.x, p.y, p.width, p.height, p.startAngle,
                                   p.sweepAngle);
                    break;
                case Primitive::OutlineEllipse:
                    canvas.outlineEllipse(p.color, p.x, p.y, p.width, p.height);
                    break;
                case Primitive::Text:
                    canvas.drawString(p.text, *p.font, p.color, p.layout, p.alignment,
                                      p.lineAlignment);
                    break;
                case Primitive::Line:
                    canvas.drawLine(p.text, *p.font, p.color, p.layout, p.alignment);
                    break;
            }
        }
    }

    CairoSurface surface_;
    preview::DemoCounters counters_;
    preview::DemoPerformance performance_;
    std::vector<Primitive> fullFrame_;
    std::vector<std::vector<Primitive>> ticks_;
    std::size_t next_ = 0;
    std::vector<Rate> rates_;
    std::map<std::pair<std::u16string, float>, std::unique_ptr<Font>> fonts_;
};

void tick(benchmark::State& state, const Configuration* configuration) {
    platform::CairoSurfaceFactory surfaces;
    Band band(configuration->file, surfaces);
    for (auto _ : state) {
        band.tickEveryRate();
    }
}

void tickFloor(benchmark::State& state, const Configuration* configuration) {
    Floor floor(configuration->file);
    for (auto _ : state) {
        floor.tickEveryRate();
    }
}

double threadProcessorSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Rounds of a measured step and of its floor in turn, so that the slow and fast moments
// of a shared machine fall on both alike: the ratio of their summed times. A step that
// returns false stops the benchmark.
template <typename Step, typename FloorStep>
double ratioInTurn(benchmark::State& state, Step step, FloorStep floorStep) {
    double stepSeconds = 0.0;
    double floorSeconds = 0.0;
    for (auto _ : state) {
        const double start = threadProcessorSeconds();
        const bool stepped = step();
        const double middle = threadProcessorSeconds();
        floorStep();
        stepSeconds += middle - start;
        floorSeconds += threadProcessorSeconds() - middle;
        if (!stepped) {
            break;
        }
    }
    return floorSeconds > 0.0 ? stepSeconds / floorSeconds : 0.0;
}

void tickPerFloor(benchmark::State& state, const Configuration* configuration) {
    platform::CairoSurfaceFactory surfaces;
    Band band(configuration->file, surfaces);
    Floor floor(configuration->file);
    state.counters["tick_per_floor"] = ratioInTurn(
        state,
        [&] {
            band.tickEveryRate();
            return true;
        },
        [&] { floor.tickEveryRate(); });
}

// Allocations of a steady-state tick, averaged over many ticks (a dynamic range that
// moves, or a value that needs a longer text, may allocate now and then).
// Counts the allocations of steady-state rounds on the given surfaces.
void countTickAllocations(benchmark::State& state, const Configuration* configuration,
                          platform::SurfaceFactory& surfaces) {
    Band band(configuration->file, surfaces);
    band.tickEveryRate();
    std::uint64_t ticks = 0;
    allocationCount = 0;
    for (auto _ : state) {
        countingAllocations = true;
        band.tickEveryRate();
        countingAllocations = false;
        ++ticks;
    }
    state.counters["allocations_per_tick"] =
        static_cast<double>(allocationCount) / static_cast<double>(ticks);
}

void tickAllocations(benchmark::State& state, const Configuration* configuration) {
    platform::CairoSurfaceFactory surfaces;
    countTickAllocations(state, configuration, surfaces);
}

// Keeps the canvas's own allocations out of the count.
class UncountedAllocations {
  public:
    UncountedAllocations() : counting_(countingAllocations) { countingAllocations = false; }
    ~UncountedAllocations() { countingAllocations = counting_; }
    UncountedAllocations(const UncountedAllocations&) = delete;
    UncountedAllocations& operator=(const UncountedAllocations&) = delete;

  private:
    bool counting_;
};

class BlankFont final : public Font {};

// Draws nothing and allocates uncounted, so that a tick on it counts only the
// allocations of the engine's own code.
class BlankCanvas final : public Canvas {
  public:
    void clearToTransparent(const InclusiveRect&) override {}
    void scrollArea(const Rect&, int, int) override {}
    void setQuality(RenderQuality) override {}
    void fillRectangle(Argb, int, int, int, int) override {}
    void outlineRectangle(Argb, int, int, int, int) override {}
    void fillPie(Argb, int, int, int, int, float, float) override {}
    void outlineEllipse(Argb, int, int, int, int) override {}
    std::unique_ptr<Font> createFont(std::u16string_view, float) override {
        const UncountedAllocations uncounted;
        return std::make_unique<BlankFont>();
    }
    void drawString(std::u16string_view text, const Font&, Argb, const RectF&, TextAlignment,
                    TextAlignment) override {
        benchmark::DoNotOptimize(text.data());
    }
    float measureString(std::u16string_view text, const Font&) override {
        return static_cast<float>(text.size());
    }
    void drawLine(std::u16string_view text, const Font&, Argb, const RectF&,
                  TextAlignment) override {
        benchmark::DoNotOptimize(text.data());
    }
};

class BlankSurface final : public MemorySurface {
  public:
    bool replaceBackBuffer(int width, int height) override { return width > 0 && height > 0; }
    std::unique_ptr<Canvas> beginDrawing() override {
        const UncountedAllocations uncounted;
        return std::make_unique<BlankCanvas>();
    }
};

class BlankSurfaceFactory final : public platform::SurfaceFactory {
  public:
    std::unique_ptr<MemorySurface> createMemorySurface() override {
        return std::make_unique<BlankSurface>();
    }
};

void engineAllocations(benchmark::State& state, const Configuration* configuration) {
    BlankSurfaceFactory surfaces;
    countTickAllocations(state, configuration, surfaces);
}

void reload(benchmark::State& state, const Configuration* configuration) {
    platform::CairoSurfaceFactory surfaces;
    Band band(configuration->file, surfaces);
    for (auto _ : state) {
        const std::string error =
            band.panel().reload(readFile(configuration->file), BandDirection::Horizontal);
        if (!error.empty()) {
            state.SkipWithError(error.c_str());
            return;
        }
    }
}

// A reload and its floor in turn. Both read the file, which a reload cannot do without;
// the floor then parses it, collects every rate once, as the reload's first ticks do,
// and rasterises the full frame from prepared primitives.
void reloadPerFloor(benchmark::State& state, const Configuration* configuration) {
    platform::CairoSurfaceFactory surfaces;
    Band band(configuration->file, surfaces);
    Floor floor(configuration->file);
    std::string error;
    state.counters["reload_per_floor"] = ratioInTurn(
        state,
        [&] {
            error = band.panel().reload(readFile(configuration->file), BandDirection::Horizontal);
            return error.empty();
        },
        [&] {
            benchmark::DoNotOptimize(parseConfigurationText(readFile(configuration->file)));
            floor.collectEveryRate();
            floor.drawFullFrame();
        });
    if (!error.empty()) {
        state.SkipWithError(error.c_str());
    }
}

void parse(benchmark::State& state, const Configuration* configuration) {
    const std::string text = readFile(configuration->file);
    for (auto _ : state) {
        benchmark::DoNotOptimize(parseConfigurationText(text));
    }
}

void fullFrameFloor(benchmark::State& state, const Configuration* configuration) {
    Floor floor(configuration->file);
    for (auto _ : state) {
        floor.drawFullFrame();
    }
}

// Combining the 2,000 instances of a wildcard counter whose names stay: 500 processes
// on 4 engines of a GPU, as "GPU Engine" names them. The plain sum is what a wildcard
// path without "instances" costs; the GPU formula groups by engine, sums and takes the
// busiest, after checking that each name is still the one met before.
struct GpuInstances {
    GpuInstances() {
        for (int pid = 0; pid < 500; ++pid) {
            for (int engine = 0; engine < 4; ++engine) {
                const std::string name = "pid_" + std::to_string(1000 + pid) +
                                         "_luid_0x00000000_0x0000F814_phys_0_eng_" +
                                         std::to_string(engine) + "_engtype_3D";
                names.emplace_back(name.begin(), name.end());
            }
        }
        for (std::size_t i = 0; i < names.size(); ++i) {
            instances.push_back({names[i], static_cast<double>(i % 7) * 0.01, true});
        }
        gpuFormula.grouped = true;
        gpuFormula.groupFrom = u"luid_";
        gpuFormula.groupTo = u"_engtype";
        gpuFormula.combine = InstanceCombine::Max;
    }
    std::vector<std::u16string> names;
    std::vector<platform::CounterInstance> instances;
    InstanceSelection gpuFormula;
};

// The floor of the instances' combinations: what a wildcard path without "instances" costs.
template <typename Instances>
void plainSum(benchmark::State& state) {
    const Instances read;
    for (auto _ : state) {
        benchmark::DoNotOptimize(sumInstances(read.instances));
    }
}

// A steady tick's `step`, once the names were met at a first one, with its allocations.
template <typename Step>
void steadyTicks(benchmark::State& state, Step step) {
    step();
    const std::uint64_t before = allocationCount;
    countingAllocations = true;
    for (auto _ : state) {
        benchmark::DoNotOptimize(step());
    }
    countingAllocations = false;
    state.counters["allocations_per_tick"] =
        static_cast<double>(allocationCount - before) / static_cast<double>(state.iterations());
}

void instancesGpuFormula(benchmark::State& state) {
    const GpuInstances gpu;
    const CompiledSelection formula(gpu.gpuFormula);
    InstanceMemo memo;
    std::size_t steps = std::numeric_limits<std::size_t>::max();
    steadyTicks(state, [&] { return combineInstances(gpu.instances, formula, memo, steps); });
}

// 500 processes as \Process names them, 100 programs of 5 processes each (chrome,
// chrome#1, ...), at values that tie often: a wildcard path with "top": 5 ranks them by
// program on the collector's thread, against the plain sum of the same instances.
struct ProcessInstances {
    ProcessInstances() {
        for (int number = 0; number < 500; ++number) {
            std::string name = "program" + std::to_string(number % 100);
            if (number >= 100) {
                name += "#" + std::to_string(number / 100);
            }
            names.emplace_back(name.begin(), name.end());
        }
        for (std::size_t i = 0; i < names.size(); ++i) {
            instances.push_back({names[i], static_cast<double>(i % 13), true});
        }
        topFive.top = 5;
    }
    std::vector<std::u16string> names;
    std::vector<platform::CounterInstance> instances;
    InstanceSelection topFive;
};

void processesTopFive(benchmark::State& state) {
    const ProcessInstances processes;
    const CompiledSelection compiled(processes.topFive, u"\\Process(*)\\% Processor Time");
    InstanceMemo memo;
    TopInstances top;
    top.ranked.resize(processes.topFive.top);
    preview::DemoSensors names;
    std::size_t steps = std::numeric_limits<std::size_t>::max();
    steadyTicks(state, [&] {
        const std::optional<double> combined =
            combineInstances(processes.instances, compiled, memo, steps);
        rankInstances(processes.instances, compiled, memo, names, top);
        return combined;
    });
}

// 2,000 new instance names of 256 characters classified against hostile patterns (a
// star, then a long literal in the middle of the name): the steps of one tick, as the
// collector's thread spends them; each iteration is a tick of names not met before.
void classifyNewNames(benchmark::State& state, std::size_t patterns, std::size_t length) {
    std::vector<std::u16string> names;
    std::vector<platform::CounterInstance> instances;
    for (int i = 0; i < 2000; ++i) {
        std::u16string name(256 - 4, u'a');
        for (const char digit : std::to_string(1000 + i)) {
            name += static_cast<char16_t>(digit);
        }
        names.push_back(std::move(name));
    }
    for (const auto& name : names) {
        instances.push_back({name, 1.0, true});
    }
    InstanceSelection selection;
    selection.include.clear();
    for (std::size_t i = 0; i < patterns; ++i) {
        selection.include.push_back(u"*" + std::u16string(length - 3, u'a') + u"b*");
    }
    const CompiledSelection compiled(selection);
    auto memo = std::make_unique<InstanceMemo>();
    for (auto _ : state) {
        std::size_t steps = kClassificationStepsPerTick;
        if (combineInstances(instances, compiled, *memo, steps)) {
            state.PauseTiming();
            memo = std::make_unique<InstanceMemo>();  // every name is new again
            state.ResumeTiming();
        }
    }
}

void printRatios(const bench::CpuTimeReporter& times) {
    const double plainSum = times.nanoseconds("instances_plain_sum") / 1000;
    const double gpuFormula = times.nanoseconds("instances_gpu_formula") / 1000;
    std::printf(
        "\n2,000 wildcard instances: plain sum %.2fus, GPU formula %.2fus, ratio %.2fx "
        "(goal <= 2x), %.2f allocations per tick\n",
        plainSum, gpuFormula, plainSum > 0 ? gpuFormula / plainSum : 0.0,
        times.counter("instances_gpu_formula", "allocations_per_tick"));
    const double processesSum = times.nanoseconds("processes_plain_sum") / 1000;
    const double topFive = times.nanoseconds("processes_top_five") / 1000;
    std::printf(
        "500 process instances: plain sum %.2fus, top 5 by program %.2fus, ratio %.2fx "
        "(goal <= 2x), %.2f allocations per tick\n",
        processesSum, topFive, processesSum > 0 ? topFive / processesSum : 0.0,
        times.counter("processes_top_five", "allocations_per_tick"));
    const auto time = [&](const std::string& name) { return times.nanoseconds(name) / 1000; };
    const auto allocations = [&](const std::string& name) {
        return times.counter(name, "allocations_per_tick");
    };
    std::printf(
        "\n2,000 new names of 256 characters, classified in ticks on the collector's thread: "
        "32 patterns of 32 characters %.2fms, 4 of 256 %.2fms per tick (goal <= 20ms)\n",
        times.nanoseconds("classify_new_names/32x32") / 1e6,
        times.nanoseconds("classify_new_names/4x256") / 1e6);
    std::printf("\n%-26s %10s %10s %7s   %10s %12s %7s   %12s %12s\n", "configuration", "tick",
                "floor", "ratio", "reload", "parse+frame", "ratio", "allocs/tick", "engine only");
    for (const Configuration& configuration : configurations()) {
        const std::string name = configuration.name;
        std::printf(
            "%-26s %8.1fus %8.1fus %6.2fx   %8.1fus %10.1fus %6.2fx   %12.2f %12.2f\n",
            configuration.name, time("tick/" + name), time("tick_floor/" + name),
            times.counter("tick_per_floor/" + name, "tick_per_floor"), time("reload/" + name),
            time("parse/" + name) + time("full_frame_floor/" + name),
            times.counter("reload_per_floor/" + name, "reload_per_floor"),
            allocations("tick_allocations/" + name), allocations("engine_allocations/" + name));
    }
    std::printf(
        "CPU time per round of every rate; each ratio from rounds taken in turn with its floor "
        "(the reload's\nfloor: reading the file, parsing it and the full frame); goals: tick "
        "<= 1.25 x floor, reload <= 1.2 x floor; 0 = not run\n");
}

}  // namespace
}  // namespace tavisto

int main(int argc, char** argv) {
    using namespace tavisto;
    using Function = void (*)(benchmark::State&, const Configuration*);
    const std::pair<const char*, Function> benchmarks[] = {
        {"tick", &tick},
        {"tick_floor", &tickFloor},
        {"tick_per_floor", &tickPerFloor},
        {"tick_allocations", &tickAllocations},
        {"engine_allocations", &engineAllocations},
        {"reload", &reload},
        {"reload_per_floor", &reloadPerFloor},
        {"parse", &parse},
        {"full_frame_floor", &fullFrameFloor},
    };
    writeConfigurations();
    for (const Configuration& configuration : configurations()) {
        for (const auto& [kind, function] : benchmarks) {
            const std::string name = std::string(kind) + "/" + configuration.name;
            benchmark::RegisterBenchmark(name.c_str(), function, &configuration)
                ->Unit(benchmark::kMicrosecond);
        }
    }
    benchmark::RegisterBenchmark("instances_plain_sum", &plainSum<GpuInstances>)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("instances_gpu_formula", &instancesGpuFormula)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("processes_plain_sum", &plainSum<ProcessInstances>)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("processes_top_five", &processesTopFive)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("classify_new_names/32x32", &classifyNewNames, 32, 32)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("classify_new_names/4x256", &classifyNewNames, 4, 256)
        ->Unit(benchmark::kMillisecond);
    return bench::runBenchmarks(argc, argv, printRatios);
}
