#pragma once
// What a process runs once however many windows show the meters: the configuration
// document, the meter model as loaded, the sampling schedule with its timers and the
// sampler with its queries and samples. Each window shows it through a view of its own
// (PanelView), which the engine tells when the model changes and when a rate sampled.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "config/meter_model.h"
#include "platform/platform.h"
#include "sampling/sampler.h"

namespace tavisto {

class PanelEngine {
  public:
    // What the engine needs from the system, whichever window shows it.
    struct Services {
        platform::SystemVersion& systemVersion;
        platform::CounterQueries& counterQueries;
        platform::SystemPerformance& systemPerformance;
        platform::Sensors& sensors;
        platform::WindowTimers& timers;
        const platform::UserLocale& locale;
        const platform::Clock& clock;
    };

    // A window's view of the engine, told on the engine's thread.
    class View {
      public:
        // The model is about to go: nothing may point into it once this returns.
        virtual void modelGoing() noexcept = 0;
        // A model was loaded, or none is left: lay it out and draw every meter.
        virtual void modelLoaded() noexcept = 0;
        // The rate's meters took new samples: draw those whose pixels no longer show them.
        virtual void rateSampled(std::uint64_t rate) noexcept = 0;
        // The locale writes numbers otherwise now: draw every meter again.
        virtual void numbersChanged() noexcept = 0;
        // How many samples the meter's histories must keep for this view; 0 for none.
        virtual std::size_t historyCapacity(std::size_t meter) const noexcept = 0;

      protected:
        virtual ~View() = default;
    };

    // With `collections` the timers' ticks collect through it, away from the engine's
    // thread, and it must outlive the engine; without, they collect in place.
    PanelEngine(Services services, platform::CollectionQueue* collections) noexcept;
    // Its views are gone or detached by then.
    ~PanelEngine();
    PanelEngine(const PanelEngine&) = delete;
    PanelEngine& operator=(const PanelEngine&) = delete;

    // Parse, stop, load, start. A text that does not parse within the bounds leaves what
    // is loaded running; a document that fails to load does not leave the meters blank:
    // the last configuration that loaded is loaded and started again. Returns the parse's
    // or the failed load's message, empty on success.
    std::string load(std::string text) noexcept;
    // The same for a document parsed from `text` elsewhere: stop, load, start.
    std::string load(std::string text, nlohmann::json document) noexcept;
    // Whether a configuration loaded (and is in force).
    bool loaded() const noexcept { return !lastConfiguration_.empty(); }
    // Ends sampling and releases the model: no timers, no groups, no meters, no queries;
    // the views show nothing.
    void stop() noexcept;
    // Alerts raised with "notify" are shown through `notifications` from now on, which
    // must outlive the engine or be replaced first; null: they are not shown.
    void notifyThrough(platform::Notifications* notifications) noexcept {
        notifications_ = notifications;
    }

    // A view shows the engine from now on and is told of its model at once; it detaches
    // before it goes.
    void attach(View& view);
    void detach(View& view) noexcept;
    // A view laid out again: each history keeps what the view that shows the most needs.
    void historiesChanged() noexcept;
    // The system announced a change of the user's locale: its separators are read again,
    // and the views draw again when they changed.
    void localeChanged() noexcept;

    // One sampling tick of a refresh rate, collecting in place.
    void tick(std::uint64_t rate) noexcept;
    // Query work run by the CollectionQueue is back: the tick goes on as tick() does
    // after collecting. Work the engine let go of meanwhile is ignored.
    void collected(const platform::QueryWork* work) noexcept;

    const PanelModel& model() const noexcept { return model_; }
    // What was sampled of each meter, by meter index.
    const PanelSamples& samples() const noexcept { return sampler_.samples(); }
    // Whether text is drawn with the system's newer text rendering; asked at each load.
    bool windows10OrLater() const noexcept { return windows10OrLater_; }
    // How the user's locale writes numbers; read at each load and when the locale changes,
    // never at a tick.
    const platform::NumberSeparators& numberSeparators() const noexcept { return numbers_; }
    // The rate's counter query; 0 when the rate has none open.
    platform::QueryHandle queryOf(std::uint64_t rate) const { return sampler_.queryOf(rate); }

  private:
    // stop() without telling the views of the empty model.
    void release() noexcept;
    void loadDocument(nlohmann::json&& document);
    void restoreLastConfiguration() noexcept;
    void start();
    // A timer's tick: in place, or away through the collection queue. A rate whose
    // last collection has not come back skips the tick; its frames stay as they are.
    void timerElapsed(std::uint64_t rate) noexcept;
    // The tick's last phase: reads what was collected, and the views draw what changed.
    void finishTick(std::uint64_t rate, bool collected);
    void tellModelLoaded() noexcept;
    // Whether the separators read differ from those in force.
    bool readNumberSeparators();

    Services services_;
    platform::CollectionQueue* collections_;
    // The text of the last configuration that loaded, as it was read (within the size
    // limit, so it parses again to the same document): a copy of a parsed document
    // recurses once per level, and its re-print may be longer than the file.
    std::string lastConfiguration_;
    bool windows10OrLater_ = false;
    platform::NumberSeparators numbers_;
    PanelModel model_;
    Sampler sampler_;
    std::vector<View*> views_;
    platform::Notifications* notifications_ = nullptr;
};

}  // namespace tavisto
