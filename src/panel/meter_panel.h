#pragma once
// A panel engine with one view: what one window shows when no other window shares its
// engine (the desk band, the settings window's preview, the tools and the tests).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "config/meter_model.h"
#include "panel/panel_engine.h"
#include "panel/panel_view.h"
#include "platform/platform.h"
#include "render/layout.h"

namespace tavisto {

class MeterPanel {
  public:
    // Sizes the back buffer, parses the configuration file's text with its bounds, loads
    // and starts the panel. Throws the parse's or the load's error when the text cannot
    // be interpreted, or when no memory surface can be created; nothing of the failed
    // panel remains. With `collections` the timers' ticks collect through it, away from
    // the window's thread, and must outlive the panel; without, they collect in place.
    MeterPanel(platform::PlatformServices platform, std::string text, BandDirection direction,
               platform::CollectionQueue* collections = nullptr);
    ~MeterPanel();
    MeterPanel(const MeterPanel&) = delete;
    MeterPanel& operator=(const MeterPanel&) = delete;

    // The constructor without exceptions, for callers that are exception barriers:
    // null, with the load's message in `error`, when the document cannot be loaded.
    static std::unique_ptr<MeterPanel> create(
        platform::PlatformServices platform, std::string text, BandDirection direction,
        std::string& error, platform::CollectionQueue* collections = nullptr) noexcept;

    // Parse, stop, load, start. A text that does not parse within the bounds leaves the
    // panel running as it is; a document that fails to load does not leave the band
    // blank: the last configuration that loaded is loaded and started again. Returns
    // the parse's or the failed load's message, empty on success.
    std::string reload(std::string text, BandDirection direction) noexcept;

    // Ends sampling and releases the model: no timers, no groups, no meters, no
    // queries, and a new empty back buffer.
    void stop() noexcept;

    // Stores the band direction, reads the taskbar theme and the screen's DPI, lays out,
    // rebuilds the frame cache, replaces the back buffer with one of the client size and
    // draws every meter. The model stays loaded: samples and graph histories are kept.
    void relayout(BandDirection direction) noexcept;

    // One sampling tick of a refresh rate, collecting in place: collect, sample, redraw
    // that rate's meters whose pixels no longer show their values, and invalidate the
    // window if any was.
    void tick(std::uint64_t rate) noexcept;
    // Query work run by the panel's CollectionQueue is back: the tick goes on as tick()
    // does after collecting. Work the panel let go of meanwhile (a reload or stop came
    // first) is ignored.
    void collected(const platform::QueryWork* work) noexcept;

    const PanelModel& model() const { return engine_.model(); }
    // What was sampled of each meter, by meter index.
    const PanelSamples& samples() const { return engine_.samples(); }
    // How the meters and their words write numbers.
    const platform::NumberSeparators& numberSeparators() const {
        return engine_.numberSeparators();
    }
    // Where the model's groups and meters are in the client area.
    const PanelLayout& layout() const { return view_->layout(); }
    // One per group, in the model's order; null where the system made none.
    const std::vector<std::unique_ptr<platform::GroupTooltip>>& tooltips() const {
        return view_->tooltips();
    }
    BandDirection direction() const { return view_->direction(); }
    double dpiScale() const { return view_->dpiScale(); }
    platform::MemorySurface& surface() { return view_->surface(); }
    // The rate's counter query; 0 when the rate has none open.
    platform::QueryHandle queryOf(std::uint64_t rate) const { return engine_.queryOf(rate); }

  private:
    PanelEngine engine_;
    // Goes before the engine it is attached to.
    std::unique_ptr<PanelView> view_;
};

}  // namespace tavisto
