#include "panel/meter_panel.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <stdexcept>

#include "config/configuration_loader.h"
#include "config/configuration_text.h"
#include "core/failure_sink.h"
#include "render/frame.h"
#include "render/layout.h"
#include "sampling/counter_instances.h"
#include "sampling/performance_fields.h"

namespace tavisto {
namespace {

// Copying the message may itself run out of memory, and the callers are exception
// barriers: the failure is then reported with a text short enough for the string's
// inline buffer, which needs no allocation.
void keepMessage(std::string& target, const char* message) noexcept {
    try {
        target = message;
    } catch (...) {
        target = "out of memory";
    }
}

// A counter whose object or instance is absent when the configuration loads (an
// adapter not plugged in yet, a driver still starting) is added again, at most once
// in this many milliseconds of its rate's ticks.
constexpr std::uint64_t kAddRetryMilliseconds = 10'000;

std::uint64_t ticksBetweenAddRetries(std::uint64_t rate) {
    const std::uint64_t period = std::max<std::uint64_t>(rate, 1);
    return (kAddRetryMilliseconds + period - 1) / period;
}

// Takes the document apart without allocating when it goes, loaded or not.
class DocumentTakenApart {
  public:
    explicit DocumentTakenApart(nlohmann::json& document) : document_(document) {}
    ~DocumentTakenApart() { dismantleWithoutAllocating(document_); }
    DocumentTakenApart(const DocumentTakenApart&) = delete;
    DocumentTakenApart& operator=(const DocumentTakenApart&) = delete;

  private:
    nlohmann::json& document_;
};

}  // namespace

MeterPanel::MeterPanel(platform::PlatformServices platform, std::string text,
                       BandDirection direction)
    : platform_(platform), direction_(direction) {
    nlohmann::json document = parseConfigurationText(text);
    const platform::ScreenDpi dpi = platform_.screen.dpi();
    dpiScale_ = platform::dpiScaleOf(dpi);
    theme_ = platform_.theme.taskbarTheme();
    surface_ = platform_.surfaces.createMemorySurface();
    if (!surface_) {
        // Without a surface nothing could ever be drawn or painted: no panel at all.
        throw std::runtime_error("the memory drawing surface cannot be created");
    }
    try {
        // As a reload does after its stop: the back buffer exists before the first tick.
        relayout(direction);
        load(std::move(document), direction);
        start();
        lastConfiguration_ = std::move(text);
    } catch (...) {
        stop();
        throw;
    }
}

MeterPanel::~MeterPanel() {
    stop();
}

std::unique_ptr<MeterPanel> MeterPanel::create(platform::PlatformServices platform,
                                               std::string text, BandDirection direction,
                                               std::string& error) noexcept {
    try {
        return std::make_unique<MeterPanel>(platform, std::move(text), direction);
    } catch (const std::exception& failure) {
        keepMessage(error, failure.what());
    } catch (...) {
        keepMessage(error, "unknown error");
    }
    return nullptr;
}

std::string MeterPanel::reload(std::string text, BandDirection direction) noexcept {
    std::string error;
    nlohmann::json document;
    try {
        document = parseConfigurationText(text);
    } catch (const std::exception& failure) {
        keepMessage(error, failure.what());
        return error;
    }
    stop();
    try {
        load(std::move(document), direction);
        start();
        // Only a configuration that also started is the one to go back to.
        lastConfiguration_ = std::move(text);
        return error;
    } catch (const std::exception& failure) {
        keepMessage(error, failure.what());
    } catch (...) {
        keepMessage(error, "unknown error");
    }
    restoreLastConfiguration(direction);
    return error;
}

// The last configuration that loaded stays in force; it loaded before with the same
// DPI scale, so it loads again.
void MeterPanel::restoreLastConfiguration(BandDirection direction) noexcept {
    stop();
    try {
        load(parseConfigurationText(lastConfiguration_), direction);
        start();
    } catch (...) {
        reportCaughtException("restoring the last configuration");
        stop();
    }
}

void MeterPanel::load(nlohmann::json&& document, BandDirection direction) {
    direction_ = direction;
    // Loaded or not, the document is used up here.
    const DocumentTakenApart takenApart(document);
    loadModel(document, LoadContext{dpiScale_}, model_);
    windows10OrLater_ = platform_.systemVersion.isWindows10OrLater();
    // Each tip is moved over its group by the layout that follows.
    for (const auto& group : model_.groups) {
        tooltips_.push_back(platform_.tooltips.create(group->name, Rect{}));
    }
    layOut(platform_.window.clientRect());
}

void MeterPanel::layOut(const Rect& client) {
    layoutPanel(model_, direction_, client, layout_, platform_.window);
    rebuildFrameCache(model_, layout_, frames_);
    // A tip must cover its group's new rectangle before anything is drawn there.
    for (std::size_t index = 0; index < tooltips_.size(); ++index) {
        if (tooltips_[index]) {
            tooltips_[index]->moveTo(layout_.groups[index].rect);
        }
    }
}

void MeterPanel::start() {
    performanceScopes_.clear();
    for (auto& [rate, meters] : model_.metersByRate) {
        // The entry exists before the query opens: a query is never left without an owner.
        auto [entry, inserted] = queriesByRate_.try_emplace(rate, 0);
        if (!inserted) {
            platform_.counterQueries.closeQuery(entry->second);
            entry->second = 0;
        }
        entry->second = platform_.counterQueries.openQuery();
        const platform::QueryHandle query = entry->second;
        addRetries_.insert_or_assign(rate, AddRetry{ticksBetweenAddRetries(rate), 0});
        std::size_t references = 0;
        for (auto& meter : meters) {
            for (MeterCounter& counter : meter->counters) {
                for (auto& [name, reference] : counter.references) {
                    ++references;
                    if (reference.kind == CounterReference::PerformanceCounter) {
                        reference.counterHandle =
                            platform_.counterQueries.addCounter(query, reference.path);
                    } else if (isPerformanceFieldPath(reference.path)) {
                        const platform::PerformanceScope scope = performanceScopeOf(reference.path);
                        auto& wanted = performanceScopes_.try_emplace(rate, scope).first->second;
                        wanted = std::max(wanted, scope);
                    }
                }
            }
        }
        if (references > 0) {
            // The identifier keeps the full rate; a period beyond 32 bits becomes the
            // longest one, never its low 32 bits (which may be 0: the shortest).
            const auto period = static_cast<std::uint32_t>(
                std::min<std::uint64_t>(rate, std::numeric_limits<std::uint32_t>::max()));
            platform_.timers.setTimer(rate, period,
                                      [this](std::uint64_t timerId) { tick(timerId); });
            tick(rate);
        }
    }
}

void MeterPanel::stop() noexcept {
    for (auto& [rate, meters] : model_.metersByRate) {
        platform_.timers.killTimer(rate);
        meters.clear();
    }
    model_.metersByRate.clear();
    closeQueries();
    // Destroying a tip removes its tool and destroys its tooltip window.
    tooltips_.clear();
    model_.groups.clear();
    relayout(direction_);
}

void MeterPanel::closeQueries() noexcept {
    for (const auto& [rate, query] : queriesByRate_) {
        platform_.counterQueries.closeQuery(query);
    }
    queriesByRate_.clear();
    addRetries_.clear();
}

void MeterPanel::relayout(BandDirection direction) noexcept {
    direction_ = direction;
    theme_ = platform_.theme.taskbarTheme();
    try {
        const Rect client = platform_.window.clientRect();
        layOut(client);
        redrawFrame(model_, layout_, frames_, client, *surface_,
                    DrawSettings{theme_, windows10OrLater_});
    } catch (...) {
        // A frame that cannot be drawn stays as it was; the next tick or resize redraws.
        reportCaughtException("relayout");
    }
}

// One failed add per tick at most, so that a slow add never holds up more than one
// tick; a round goes once through the rate's references, and the next round starts
// only after a full retry period of ticks.
void MeterPanel::retryFailedAdd(std::uint64_t rate, platform::QueryHandle& query,
                                std::vector<std::unique_ptr<Meter>>& meters) {
    const auto found = addRetries_.find(rate);
    if (found == addRetries_.end()) {
        return;
    }
    AddRetry& retry = found->second;
    if (retry.ticksToWait > 0) {
        --retry.ticksToWait;
        return;
    }
    // A query that could not be opened is opened again with the retries of its adds.
    if (query == 0) {
        query = platform_.counterQueries.openQuery();
        if (query == 0) {
            retry = AddRetry{ticksBetweenAddRetries(rate) - 1, 0};
            return;
        }
    }
    std::size_t position = 0;
    bool added = false;
    for (auto& meter : meters) {
        for (MeterCounter& counter : meter->counters) {
            for (auto& [name, reference] : counter.references) {
                if (reference.kind != CounterReference::PerformanceCounter) {
                    continue;
                }
                const std::size_t current = position++;
                if (current < retry.nextReference || reference.counterHandle != 0) {
                    continue;
                }
                if (added) {
                    retry.nextReference = current;  // the round goes on at the next tick
                    return;
                }
                // Only a reference without a counter is added again: no handle is replaced.
                reference.counterHandle =
                    platform_.counterQueries.addCounter(query, reference.path);
                added = true;
            }
        }
    }
    // This tick counts as the first of the wait.
    retry = AddRetry{ticksBetweenAddRetries(rate) - 1, 0};
}

double MeterPanel::readCounter(const MeterCounter& counter, CounterReference& reference) {
    platform::CounterQueries& queries = platform_.counterQueries;
    if (hasWildcardInstance(reference.path)) {
        const auto instances = queries.readInstances(reference.counterHandle);
        return counter.instances
                   ? combineInstances(instances, *counter.instances, reference.instanceMemo)
                   : sumInstances(instances);
    }
    return queries.read(reference.counterHandle);
}

void MeterPanel::sample(std::uint64_t rate) {
    const auto meters = model_.metersByRate.find(rate);
    if (const auto query = queriesByRate_.find(rate); query != queriesByRate_.end()) {
        if (meters != model_.metersByRate.end()) {
            retryFailedAdd(rate, query->second, meters->second);
        }
        // After a failed collection the counters read as failed; the rate keeps the
        // samples and pixels of its last good one instead of blinking empty. A query
        // that could not be opened has nothing to collect: its fields are still read.
        if (query->second != 0 && !platform_.counterQueries.collect(query->second)) {
            return;
        }
    }
    if (meters == model_.metersByRate.end()) {
        return;
    }
    // One performance record per tick, however many fields the rate names: the fields
    // of a counter then come from the same moment, and the record, which takes a
    // system call, is read once, holding only what the rate's fields need.
    std::optional<platform::PerformanceRecord> record;
    if (const auto scope = performanceScopes_.find(rate); scope != performanceScopes_.end()) {
        record = platform_.systemPerformance.read(scope->second);
    }
    for (auto& meter : meters->second) {
        for (MeterCounter& counter : meter->counters) {
            for (auto& [name, reference] : counter.references) {
                if (reference.kind == CounterReference::PerformanceCounter) {
                    reference.value = readCounter(counter, reference);
                } else {
                    reference.value = record ? performanceFieldValue(reference.path, *record) : 0.0;
                }
            }
        }
    }
    if (drawSampledMeters(meters->second, layout_, frames_, *surface_,
                          DrawSettings{theme_, windows10OrLater_})) {
        platform_.window.invalidate(platform_.window.clientRect());
    }
}

void MeterPanel::tick(std::uint64_t rate) noexcept {
    try {
        sample(rate);
    } catch (...) {
        // A tick that fails leaves the previous frame; the next tick tries again.
        reportCaughtException("tick");
    }
}

}  // namespace tavisto
