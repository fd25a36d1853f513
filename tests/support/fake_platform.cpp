#include "support/fake_platform.h"

#include <algorithm>

namespace tavisto::testing {

platform::QueryHandle FakeCounterQueries::openQuery() {
    ++opened;
    const platform::QueryHandle query = nextQuery++;
    open.insert(query);
    return query;
}

platform::CounterHandle FakeCounterQueries::addCounter(platform::QueryHandle query,
                                                       std::u16string_view englishPath) {
    const std::u16string path(englishPath);
    ++addAttempts[path];
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
    bool succeeds = true;
    if (!collectResults.empty()) {
        succeeds = collectResults.front();
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
    setCalls.push_back(timerId);
    running[timerId] = Timer{elapseMilliseconds, std::move(onElapsed)};
}

void FakeTimers::killTimer(std::uint64_t timerId) {
    killCalls.push_back(timerId);
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
    ~FakeGroupTooltip() override { record_.alive = false; }
    void moveTo(const Rect& area) override {
        record_.area = area;
        ++record_.moves;
    }

  private:
    TooltipRecord& record_;
};

}  // namespace

std::unique_ptr<platform::GroupTooltip> FakeTooltips::create(std::u16string_view text,
                                                             const Rect& area) {
    if (failCreation) {
        return nullptr;
    }
    created.push_back(TooltipRecord{std::u16string(text), area});
    return std::make_unique<FakeGroupTooltip>(created.back());
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
