#include "panel/meter_panel.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "config/configuration_loader.h"
#include "config/configuration_text.h"
#include "core/failure_sink.h"
#include "render/frame.h"
#include "render/layout.h"
#include "render/meter_kinds.h"

namespace tavisto {
namespace {

// Copying the message may itself run out of memory, and the callers are exception
// barriers: the failure goes to the sink, and the refusal says so with a text short
// enough for the string's inline buffer, which needs no allocation.
void keepMessage(std::string& target, const char* message) noexcept {
    try {
        target = message;
    } catch (...) {
        reportCaughtException("keeping a refusal");
        target = "out of memory";
    }
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
                       BandDirection direction, platform::CollectionQueue* collections)
    : platform_(platform),
      direction_(direction),
      collections_(collections),
      sampler_(platform.counterQueries, platform.systemPerformance, platform.clock, collections) {
    nlohmann::json document = parseConfigurationText(text);
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
                                               std::string& error,
                                               platform::CollectionQueue* collections) noexcept {
    try {
        return std::make_unique<MeterPanel>(platform, std::move(text), direction, collections);
    } catch (const std::exception& failure) {
        keepMessage(error, failure.what());
    } catch (...) {
        // Not a refusal of the file: nothing in the load throws anything else.
        reportCaughtException("creating the panel");
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
        // Not a refusal of the file: nothing in the load throws anything else.
        reportCaughtException("reloading the panel");
        keepMessage(error, "unknown error");
    }
    restoreLastConfiguration(direction);
    return error;
}

// The last configuration that loaded stays in force: it loaded before, so it loads again.
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
    loadModel(document, LoadContext{}, model_);
    sampler_.track(model_);
    windows10OrLater_ = platform_.systemVersion.isWindows10OrLater();
    // Each tip is moved over its group by the layout that follows.
    for (const MeterGroup& group : model_.groups) {
        tooltips_.push_back(platform_.tooltips.create(group.name, Rect{}));
    }
    layOut(platform_.window.clientRect());
}

void MeterPanel::layOut(const Rect& client) {
    // Read at each layout: a new scale lays the model out again, without a reload.
    dpiScale_ = platform::dpiScaleOf(platform_.screen.dpi());
    layoutPanel(model_, direction_, client, dpiScale_, layout_, platform_.window);
    rebuildFrameCache(model_, layout_, frames_);
    for (std::size_t index = 0; index < model_.meters.size(); ++index) {
        if (const auto capacity = meterDrawing(model_.meters[index].meterType).historyCapacity) {
            sampler_.keepHistory(index, capacity(layout_.of(index)));
        }
    }
    // A tip must cover its group's new rectangle before anything is drawn there.
    for (std::size_t index = 0; index < tooltips_.size(); ++index) {
        if (tooltips_[index]) {
            tooltips_[index]->moveTo(layout_.groups[index].rect);
        }
    }
}

void MeterPanel::start() {
    for (const auto& [rate, meters] : model_.rates) {
        if (sampler_.start(model_, rate)) {
            // The identifier keeps the full rate; a period beyond 32 bits becomes the
            // longest one, never its low 32 bits (which may be 0: the shortest).
            const auto period = static_cast<std::uint32_t>(
                std::min<std::uint64_t>(rate, std::numeric_limits<std::uint32_t>::max()));
            platform_.timers.setTimer(rate, period,
                                      [this](std::uint64_t timerId) { timerElapsed(timerId); });
            timerElapsed(rate);
        }
    }
    if (collections_ != nullptr) {
        // The first collections come back later: the meters show at once, with what
        // they have sampled so far.
        const Rect client = platform_.window.clientRect();
        redrawFrame(model_, sampler_.samples(), layout_, frames_, client, *surface_,
                    DrawSettings{theme_, windows10OrLater_, dpiScale_});
        platform_.window.invalidate(client);
    }
}

void MeterPanel::stop() noexcept {
    for (const auto& [rate, meters] : model_.rates) {
        platform_.timers.killTimer(rate);
    }
    // What points into the groups goes before them: destroying a tip removes its tool
    // and destroys its tooltip window, which may ask for its text meanwhile.
    tooltips_.clear();
    model_.groups.clear();
    sampler_.stop();
    model_.rates.clear();
    model_.meters.clear();
    relayout(direction_);
}

void MeterPanel::relayout(BandDirection direction) noexcept {
    direction_ = direction;
    theme_ = platform_.theme.taskbarTheme();
    try {
        const Rect client = platform_.window.clientRect();
        layOut(client);
        redrawFrame(model_, sampler_.samples(), layout_, frames_, client, *surface_,
                    DrawSettings{theme_, windows10OrLater_, dpiScale_});
    } catch (...) {
        // A frame that cannot be drawn stays as it was; the next tick or resize redraws.
        reportCaughtException("relayout");
    }
}

void MeterPanel::finishTick(std::uint64_t rate, bool collected) {
    const auto meters = model_.rates.find(rate);
    if (meters == model_.rates.end() || !sampler_.read(model_, rate, collected)) {
        return;
    }
    if (drawSampledMeters(model_, meters->second, sampler_.samples(), layout_, frames_, *surface_,
                          DrawSettings{theme_, windows10OrLater_, dpiScale_})) {
        platform_.window.invalidate(platform_.window.clientRect());
    }
}

void MeterPanel::tick(std::uint64_t rate) noexcept {
    try {
        if (!model_.rates.contains(rate)) {
            return;
        }
        // After a failed collection the counters read as failed; the rate keeps the
        // samples and pixels of its last good one instead of blinking empty.
        finishTick(rate, sampler_.collect(rate));
    } catch (...) {
        // A tick that fails leaves the previous frame; the next tick tries again.
        reportCaughtException("tick");
    }
}

void MeterPanel::timerElapsed(std::uint64_t rate) noexcept {
    if (collections_ == nullptr) {
        tick(rate);
        return;
    }
    try {
        if (!model_.rates.contains(rate) || sampler_.collectingAway(rate)) {
            return;
        }
        if (sampler_.collects(rate)) {
            sampler_.collectAway(rate);
        } else {
            finishTick(rate, true);
        }
    } catch (...) {
        reportCaughtException("tick");
    }
}

void MeterPanel::collected(const platform::QueryWork* work) noexcept {
    try {
        if (const auto back = sampler_.collectedAway(work)) {
            finishTick(back->rate, back->succeeded);
        }
    } catch (...) {
        reportCaughtException("tick");
    }
}

}  // namespace tavisto
