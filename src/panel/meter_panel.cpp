#include "panel/meter_panel.h"

#include <stdexcept>
#include <utility>

#include "core/failure_sink.h"

namespace tavisto {

MeterPanel::MeterPanel(platform::PlatformServices platform, std::string text,
                       BandDirection direction, platform::CollectionQueue* collections)
    : engine_({platform.systemVersion, platform.counterQueries, platform.systemPerformance,
               platform.sensors, platform.timers, platform.locale, platform.clock},
              collections),
      view_(std::make_unique<PanelView>(
          PanelView::Services{platform.screen, platform.window, platform.tooltips,
                              platform.surfaces, platform.theme},
          engine_, direction)) {
    std::string error = engine_.load(std::move(text));
    if (!engine_.loaded()) {
        // Nothing of the failed panel remains: the view goes before the engine.
        view_.reset();
        throw std::runtime_error(error.empty() ? "the configuration did not load" : error);
    }
}

MeterPanel::~MeterPanel() = default;

std::unique_ptr<MeterPanel> MeterPanel::create(platform::PlatformServices platform,
                                               std::string text, BandDirection direction,
                                               std::string& error,
                                               platform::CollectionQueue* collections) noexcept {
    try {
        return std::make_unique<MeterPanel>(platform, std::move(text), direction, collections);
    } catch (const std::exception& failure) {
        try {
            error = failure.what();
        } catch (...) {
            // Short enough for the string's inline buffer, which needs no allocation.
            error = "out of memory";
        }
    } catch (...) {
        // Not a refusal of the file: nothing in the load throws anything else.
        reportCaughtException("creating the panel");
        error = "unknown error";
    }
    return nullptr;
}

std::string MeterPanel::reload(std::string text, BandDirection direction) noexcept {
    if (direction != view_->direction()) {
        view_->relayout(direction);
    }
    return engine_.load(std::move(text));
}

void MeterPanel::stop() noexcept {
    engine_.stop();
}

void MeterPanel::relayout(BandDirection direction) noexcept {
    view_->relayout(direction);
}

void MeterPanel::tick(std::uint64_t rate) noexcept {
    engine_.tick(rate);
}

void MeterPanel::collected(const platform::QueryWork* work) noexcept {
    engine_.collected(work);
}

}  // namespace tavisto
