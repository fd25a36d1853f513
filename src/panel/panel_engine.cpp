#include "panel/panel_engine.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "config/configuration_loader.h"
#include "config/configuration_text.h"
#include "core/failure_sink.h"
#include "render/spoken_values.h"

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

PanelEngine::PanelEngine(Services services, platform::CollectionQueue* collections) noexcept
    : services_(services),
      collections_(collections),
      sampler_(services.counterQueries, services.systemPerformance, services.sensors,
               services.clock, collections) {}

PanelEngine::~PanelEngine() {
    release();
}

std::string PanelEngine::load(std::string text) noexcept {
    std::string error;
    nlohmann::json document;
    try {
        document = parseConfigurationText(text);
    } catch (const std::exception& failure) {
        keepMessage(error, failure.what());
        return error;
    }
    return load(std::move(text), std::move(document));
}

std::string PanelEngine::load(std::string text, nlohmann::json document) noexcept {
    std::string error;
    release();
    try {
        loadDocument(std::move(document));
        start();
        // Only a configuration that also started is the one to go back to.
        lastConfiguration_ = std::move(text);
        return error;
    } catch (const std::exception& failure) {
        keepMessage(error, failure.what());
    } catch (...) {
        // Not a refusal of the file: nothing in the load throws anything else.
        reportCaughtException("loading the configuration");
        keepMessage(error, "unknown error");
    }
    restoreLastConfiguration();
    return error;
}

// The last configuration that loaded stays in force: it loaded before, so it loads again.
void PanelEngine::restoreLastConfiguration() noexcept {
    release();
    if (loaded()) {
        try {
            loadDocument(parseConfigurationText(lastConfiguration_));
            start();
            return;
        } catch (...) {
            reportCaughtException("restoring the last configuration");
            release();
        }
    }
    tellModelLoaded();
}

void PanelEngine::loadDocument(nlohmann::json&& document) {
    // Loaded or not, the document is used up here.
    const DocumentTakenApart takenApart(document);
    loadModel(document, LoadContext{}, model_);
    model_.texts = &chooseTexts(model_.language, services_.locale.preferredLanguages());
    sampler_.track(model_);
    windows10OrLater_ = services_.systemVersion.isWindows10OrLater();
    readNumberSeparators();
}

bool PanelEngine::readNumberSeparators() {
    platform::NumberSeparators numbers = services_.locale.numberSeparators();
    if (numbers == numbers_) {
        return false;
    }
    numbers_ = std::move(numbers);
    return true;
}

void PanelEngine::localeChanged() noexcept {
    try {
        // Many regional settings announce themselves alike; most leave numbers as they are.
        if (!readNumberSeparators()) {
            return;
        }
        for (View* view : views_) {
            view->numbersChanged();
        }
    } catch (...) {
        // Out of memory: the meters keep the separators they have until the next load.
        reportCaughtException("reading the locale's separators");
    }
}

void PanelEngine::start() {
    // The histories take the capacity the views' layouts need before the first samples.
    tellModelLoaded();
    for (const auto& [rate, meters] : model_.rates) {
        if (sampler_.start(model_, rate)) {
            // The identifier keeps the full rate; a period beyond 32 bits becomes the
            // longest one, never its low 32 bits (which may be 0: the shortest).
            const auto period = static_cast<std::uint32_t>(
                std::min<std::uint64_t>(rate, std::numeric_limits<std::uint32_t>::max()));
            services_.timers.setTimer(rate, period,
                                      [this](std::uint64_t timerId) { timerElapsed(timerId); });
            timerElapsed(rate);
        }
    }
}

void PanelEngine::stop() noexcept {
    release();
    tellModelLoaded();
}

void PanelEngine::release() noexcept {
    for (const auto& [rate, meters] : model_.rates) {
        services_.timers.killTimer(rate);
    }
    // What points into the model goes before it: a view's tooltips may ask for their
    // text while they are destroyed.
    for (View* view : views_) {
        view->modelGoing();
    }
    sampler_.stop();
    model_.groups.clear();
    model_.rates.clear();
    model_.meters.clear();
}

void PanelEngine::attach(View& view) {
    views_.push_back(&view);
    // Its layout sizes the histories.
    view.modelLoaded();
}

void PanelEngine::detach(View& view) noexcept {
    std::erase(views_, &view);
    historiesChanged();
}

void PanelEngine::tellModelLoaded() noexcept {
    // Each view's layout sizes the histories.
    for (View* view : views_) {
        view->modelLoaded();
    }
}

void PanelEngine::historiesChanged() noexcept {
    try {
        for (std::size_t meter = 0; meter < model_.meters.size(); ++meter) {
            std::size_t capacity = 0;
            for (const View* view : views_) {
                capacity = std::max(capacity, view->historyCapacity(meter));
            }
            sampler_.keepHistory(meter, capacity);
        }
    } catch (...) {
        // Out of memory: the histories keep their length until the next layout.
        reportCaughtException("sizing the histories");
    }
}

void PanelEngine::finishTick(std::uint64_t rate, bool collected) {
    if (!model_.rates.contains(rate) || !sampler_.read(model_, rate, collected)) {
        return;
    }
    for (View* view : views_) {
        view->rateSampled(rate);
    }
    if (notifications_ != nullptr) {
        for (const Sampler::CounterPlace& alerted : sampler_.alertsToTell()) {
            notifications_->show(alertNotice(model_, alerted.meter, alerted.counter,
                                             sampler_.samples(), numbers_));
        }
    }
}

void PanelEngine::tick(std::uint64_t rate) noexcept {
    try {
        if (!model_.rates.contains(rate)) {
            return;
        }
        // After a failed collection the counters read as failed; the rate keeps the
        // samples and pixels of its last good one instead of blinking empty.
        finishTick(rate, sampler_.collect(rate));
    } catch (...) {
        // A tick that fails leaves the previous frames; the next tick tries again.
        reportCaughtException("tick");
    }
}

void PanelEngine::timerElapsed(std::uint64_t rate) noexcept {
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

void PanelEngine::collected(const platform::QueryWork* work) noexcept {
    try {
        if (const auto back = sampler_.collectedAway(work)) {
            finishTick(back->rate, back->succeeded);
        }
    } catch (...) {
        reportCaughtException("tick");
    }
}

}  // namespace tavisto
