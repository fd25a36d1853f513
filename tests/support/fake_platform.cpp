#include "support/fake_platform.h"

#include <algorithm>
#include <new>

namespace tavisto::testing {

bool FaultSchedule::fails(bool allocates) {
    if (allocates && ++allocatingCalls == throwAt) {
        ++calls;
        throw std::bad_alloc();
    }
    return ++calls == failAt;
}

FakePlatform::FakePlatform(FaultSchedule& schedule) : silentSurfaces(schedule) {
    counterQueries.faults = &schedule;
    systemPerformance.faults = &schedule;
    window.faults = &schedule;
    timers.faults = &schedule;
    tooltips.faults = &schedule;
    surfaces = &*silentSurfaces;
}

platform::QueryHandle FakeCounterQueries::openQuery() {
    if (fails(true) || openFailuresLeft-- > 0) {
        return 0;
    }
    ++opened;
    const platform::QueryHandle query = nextQuery++;
    open.insert(query);
    return query;
}

platform::CounterHandle FakeCounterQueries::addCounter(platform::QueryHandle query,
                                                       std::u16string_view englishPath) {
    if (fails(true)) {
        return 0;
    }
    const std::u16string path(englishPath);
    ++addAttempts[path];
    if (slowAddClock != nullptr) {
        slowAddClock->now += addMilliseconds;
    }
    if (const auto failures = addFailuresLeft.find(path);
        failures != addFailuresLeft.end() && failures->second > 0) {
        --failures->second;
        return 0;
    }
    if (open.count(query) == 0 || unaddablePaths.count(path) != 0) {
        return 0;
    }
    const platform::CounterHandle handle = nextCounter++;
    counters[handle] = Counter{query, path};
    return handle;
}

bool FakeCounterQueries::collect(platform::QueryHandle query) {
    if (open.count(query) == 0) {
        return false;
    }
    ++collectCounts[query];
    bool succeeds = !fails(false);
    if (!collectResults.empty()) {
        succeeds = succeeds && collectResults.front();
        collectResults.pop_front();
    }
    for (auto& [handle, counter] : counters) {
        if (counter.query != query) {
            continue;
        }
        counter.collected = succeeds;
        if (!succeeds) {
            continue;
        }
        if (instanceScripts.count(counter.path) != 0) {
            ++counter.nextSample;
            continue;
        }
        const auto script = scripts.find(counter.path);
        if (script == scripts.end() || script->second.empty()) {
            continue;
        }
        const auto& values = script->second;
        counter.value = values[std::min(counter.nextSample, values.size() - 1)];
        ++counter.nextSample;
    }
    return succeeds;
}

double FakeCounterQueries::read(platform::CounterHandle handle) {
    ++reads;
    if (fails(false)) {
        return platform::kFailedCounterRead;
    }
    const auto counter = counters.find(handle);
    if (counter == counters.end() || !counter->second.collected ||
        open.count(counter->second.query) == 0 ||
        unreadablePaths.count(counter->second.path) != 0) {
        return platform::kFailedCounterRead;
    }
    return counter->second.value;
}

std::span<const platform::CounterInstance> FakeCounterQueries::readInstances(
    platform::CounterHandle handle) {
    ++instanceReads;
    if (fails(true)) {
        return {};
    }
    const auto counter = counters.find(handle);
    if (counter == counters.end() || !counter->second.collected ||
        open.count(counter->second.query) == 0) {
        return {};
    }
    const auto script = instanceScripts.find(counter->second.path);
    if (script == instanceScripts.end() || script->second.views.empty() ||
        counter->second.nextSample == 0) {
        return {};
    }
    const auto& views = script->second.views;
    return views[std::min(counter->second.nextSample, views.size()) - 1];
}

void FakeCounterQueries::closeQuery(platform::QueryHandle query) {
    if (open.erase(query) != 0) {
        ++closed;
    }
}

void FakeCounterQueries::script(const std::u16string& path, std::vector<double> values) {
    scripts[path] = std::move(values);
}

void FakeCounterQueries::scriptInstances(const std::u16string& path,
                                         std::vector<std::vector<ScriptedInstance>> collections) {
    InstanceScript& script = instanceScripts[path];
    script.collections = std::move(collections);
    script.views.clear();
    for (const auto& instances : script.collections) {
        auto& view = script.views.emplace_back();
        for (const ScriptedInstance& instance : instances) {
            view.push_back({instance.name, instance.value, instance.valid});
        }
    }
}

std::size_t FakeCounterQueries::liveCounters() const {
    return static_cast<std::size_t>(
        std::count_if(counters.begin(), counters.end(),
                      [this](const auto& entry) { return open.count(entry.second.query) != 0; }));
}

std::vector<std::u16string> FakeCounterQueries::pathsOf(platform::QueryHandle query) const {
    std::vector<std::u16string> paths;
    for (const auto& [handle, counter] : counters) {
        if (counter.query == query) {
            paths.push_back(counter.path);
        }
    }
    return paths;
}

int FakeCounterQueries::collections(platform::QueryHandle query) const {
    const auto found = collectCounts.find(query);
    return found == collectCounts.end() ? 0 : found->second;
}

void FakeTimers::setTimer(std::uint64_t timerId, std::uint32_t elapseMilliseconds,
                          Callback onElapsed) {
    // A timer that cannot be set is not set; SetTimer reports it only to its caller.
    if (faults != nullptr && faults->fails(true)) {
        return;
    }
    setCalls.push_back(timerId);
    running[timerId] = Timer{elapseMilliseconds, std::move(onElapsed)};
}

void FakeTimers::killTimer(std::uint64_t timerId) {
    // KillTimer cannot fail or allocate; under a fault schedule neither does the log.
    if (faults == nullptr) {
        killCalls.push_back(timerId);
    }
    running.erase(timerId);
}

bool FakeTimers::fire(std::uint64_t timerId) {
    const auto timer = running.find(timerId);
    if (timer == running.end()) {
        return false;
    }
    // A copy: the callback may kill or replace its own timer.
    const Callback callback = timer->second.callback;
    callback(timerId);
    return true;
}

namespace {

class FakeGroupTooltip final : public platform::GroupTooltip {
  public:
    explicit FakeGroupTooltip(TooltipRecord& record) : record_(record) {}
    ~FakeGroupTooltip() override {
        if (*record_.asksWhileGoing) {
            record_.textWhileGoing = record_.text();
        }
        record_.alive = false;
    }
    void moveTo(const Rect& area) override {
        if (record_.faults != nullptr && record_.faults->fails(false)) {
            return;
        }
        record_.area = area;
        ++record_.moves;
    }

  private:
    TooltipRecord& record_;
};

}  // namespace

std::unique_ptr<platform::GroupTooltip> FakeTooltips::create(TextSource text, const Rect& area) {
    if (failCreation || (faults != nullptr && faults->fails(true))) {
        return nullptr;
    }
    created.push_back(
        TooltipRecord{std::move(text), area, 0, true, faults, &asksWhileGoing, std::nullopt});
    try {
        return std::make_unique<FakeGroupTooltip>(created.back());
    } catch (...) {
        created.pop_back();  // no control without its owner
        throw;
    }
}

std::vector<const TooltipRecord*> FakeTooltips::live() const {
    std::vector<const TooltipRecord*> alive;
    for (const auto& record : created) {
        if (record.alive) {
            alive.push_back(&record);
        }
    }
    return alive;
}

bool BackBufferLog::replaceBackBuffer(int width, int height) {
    if (width <= 0 || height <= 0) {
        return false;
    }
    backBuffers.emplace_back(width, height);
    return true;
}

std::unique_ptr<platform::MemorySurface> BackBufferLogFactory::createMemorySurface() {
    ++created;
    auto surface = std::make_unique<BackBufferLog>();
    last = surface.get();
    return surface;
}

}  // namespace tavisto::testing

namespace tavisto::testing {
namespace {

class SilentFont final : public platform::Font {};

class SilentCanvas final : public platform::Canvas {
  public:
    explicit SilentCanvas(FaultSchedule& faults) : faults_(faults) {}
    void clearToTransparent(const InclusiveRect&) override {}
    void scrollArea(const Rect&, int, int) override {}
    void setQuality(platform::RenderQuality) override {}
    void fillRectangle(Argb, int, int, int, int) override {}
    void outlineRectangle(Argb, int, int, int, int) override {}
    void fillPie(Argb, int, int, int, int, float, float) override {}
    void outlineEllipse(Argb, int, int, int, int) override {}
    std::unique_ptr<platform::Font> createFont(std::u16string_view, float) override {
        return faults_.fails(true) ? nullptr : std::make_unique<SilentFont>();
    }
    void drawString(std::u16string_view, const platform::Font&, Argb, const RectF&,
                    platform::TextAlignment, platform::TextAlignment) override {}
    float measureString(std::u16string_view, const platform::Font&) override { return 0.0F; }
    void drawLine(std::u16string_view, const platform::Font&, Argb, const RectF&,
                  platform::TextAlignment) override {}

  private:
    FaultSchedule& faults_;
};

class SilentSurface final : public platform::MemorySurface {
  public:
    explicit SilentSurface(FaultSchedule& faults) : faults_(faults) {}
    bool replaceBackBuffer(int width, int height) override {
        return !faults_.fails(true) && width > 0 && height > 0;
    }
    std::unique_ptr<platform::Canvas> beginDrawing() override {
        return faults_.fails(true) ? nullptr : std::make_unique<SilentCanvas>(faults_);
    }

  private:
    FaultSchedule& faults_;
};

}  // namespace

std::unique_ptr<platform::MemorySurface> SilentSurfaceFactory::createMemorySurface() {
    return faults_.fails(true) ? nullptr : std::make_unique<SilentSurface>(faults_);
}

}  // namespace tavisto::testing
