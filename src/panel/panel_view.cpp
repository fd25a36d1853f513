#include "panel/panel_view.h"

#include <stdexcept>

#include "core/failure_sink.h"
#include "render/frame.h"
#include "render/meter_kinds.h"
#include "render/spoken_values.h"

namespace tavisto {

PanelView::PanelView(Services services, PanelEngine& engine, BandDirection direction)
    : services_(services),
      engine_(engine),
      direction_(direction),
      surface_(services.surfaces.createMemorySurface()) {
    if (!surface_) {
        throw std::runtime_error("the memory drawing surface cannot be created");
    }
    engine_.attach(*this);
}

PanelView::~PanelView() {
    // The tooltips read the engine's model and samples.
    tooltips_.clear();
    engine_.detach(*this);
}

void PanelView::modelGoing() noexcept {
    // Destroying a tip removes its tool and destroys its tooltip window, which may ask
    // for its text meanwhile.
    tooltips_.clear();
}

void PanelView::modelLoaded() noexcept {
    tooltips_.clear();
    try {
        // Each tip is moved over its group by the layout that follows. Its text is read
        // when it is about to show, so that sampling never touches the tips.
        for (std::size_t index = 0; index < model().groups.size(); ++index) {
            tooltips_.push_back(services_.tooltips.create(
                [this, index] {
                    return tooltipText(model(), model().groups[index], samples(),
                                       numberSeparators());
                },
                Rect{}));
        }
    } catch (...) {
        // Out of memory: the groups that have no tip show none.
        reportCaughtException("the groups' tooltips");
    }
    relayout(direction_);
    try {
        services_.window.invalidate(services_.window.clientRect());
    } catch (...) {
        reportCaughtException("invalidating the panel");
    }
}

void PanelView::layOut() {
    // Read at each layout: a new scale lays the model out again, without a reload.
    dpiScale_ = platform::dpiScaleOf(services_.screen.dpi());
    const PanelModel& model = this->model();
    layoutPanel(model, direction_, services_.window.clientRect(), dpiScale_, layout_,
                services_.window);
    rebuildFrameCache(model, layout_, frames_);
    // A tip must cover its group's new rectangle before anything is drawn there.
    for (std::size_t index = 0; index < tooltips_.size() && index < layout_.groups.size();
         ++index) {
        if (tooltips_[index]) {
            tooltips_[index]->moveTo(layout_.groups[index].rect);
        }
    }
}

void PanelView::relayout(BandDirection direction) noexcept {
    direction_ = direction;
    theme_ = services_.theme.taskbarTheme();
    try {
        layOut();
        // The histories take this layout's length before they are drawn.
        engine_.historiesChanged();
        redrawFrame(model(), samples(), layout_, frames_, services_.window.clientRect(), *surface_,
                    drawSettings());
    } catch (...) {
        // A frame that cannot be drawn stays as it was; the next tick or resize redraws.
        reportCaughtException("relayout");
    }
}

void PanelView::rateSampled(std::uint64_t rate) noexcept {
    // A view whose last layout failed (out of memory) draws again at its next one.
    if (frames_.size() != model().meters.size()) {
        return;
    }
    try {
        const auto meters = model().rates.find(rate);
        if (meters != model().rates.end() &&
            drawSampledMeters(model(), meters->second, samples(), layout_, frames_, *surface_,
                              drawSettings())) {
            services_.window.invalidate(services_.window.clientRect());
        }
    } catch (...) {
        // A frame that cannot be drawn stays as it was; the next tick redraws.
        reportCaughtException("tick");
    }
}

void PanelView::numbersChanged() noexcept {
    relayout(direction_);
    try {
        services_.window.invalidate(services_.window.clientRect());
    } catch (...) {
        reportCaughtException("invalidating the panel");
    }
}

DrawSettings PanelView::drawSettings() const {
    // The separators are short enough to be copied without allocating at a tick.
    return {theme_, engine_.windows10OrLater(), dpiScale_, engine_.numberSeparators()};
}

std::size_t PanelView::historyCapacity(std::size_t meter) const noexcept {
    if (meter >= layout_.meters.size()) {
        return 0;
    }
    const auto capacity = meterDrawing(model().meters[meter].meterType).historyCapacity;
    return capacity != nullptr ? capacity(layout_.of(meter)) : 0;
}

}  // namespace tavisto
