#pragma once
// The engine behind one band window: the configuration document, the meter model as
// loaded, the sampling schedule with its timers (the sampler keeps the queries and the
// samples), the layout of the model in the window's client area, the groups' tooltips,
// and the memory surface that every meter is drawn into with the frame cache of what
// its pixels show.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "config/meter_model.h"
#include "platform/platform.h"
#include "render/layout.h"
#include "render/meter_frame.h"
#include "sampling/sampler.h"

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

    const PanelModel& model() const { return model_; }
    // What was sampled of each meter, by meter index.
    const PanelSamples& samples() const { return sampler_.samples(); }
    // Where the model's groups and meters are in the client area.
    const PanelLayout& layout() const { return layout_; }
    // One per group, in the model's order; null where the system made none.
    const std::vector<std::unique_ptr<platform::GroupTooltip>>& tooltips() const {
        return tooltips_;
    }
    BandDirection direction() const { return direction_; }
    double dpiScale() const { return dpiScale_; }
    platform::MemorySurface& surface() { return *surface_; }
    // The rate's counter query; 0 when the rate has none open.
    platform::QueryHandle queryOf(std::uint64_t rate) const { return sampler_.queryOf(rate); }

  private:
    void load(nlohmann::json&& document, BandDirection direction);
    void restoreLastConfiguration(BandDirection direction) noexcept;
    void layOut(const Rect& client);
    void start();
    // A timer's tick: in place, or away through the collection queue. A rate whose
    // last collection has not come back skips the tick; its frame stays as it is.
    void timerElapsed(std::uint64_t rate) noexcept;
    // The tick's last phase: reads what was collected and draws what changed.
    void finishTick(std::uint64_t rate, bool collected);

    platform::PlatformServices platform_;
    // The text of the last configuration that loaded, as it was read (within the size
    // limit, so it parses again to the same document): a copy of a parsed document
    // recurses once per level, and its re-print may be longer than the file.
    std::string lastConfiguration_;
    BandDirection direction_ = BandDirection::Horizontal;
    platform::TaskbarTheme theme_ = platform::TaskbarTheme::Dark;
    double dpiScale_ = 1.0;
    // Whether text is drawn with the system's newer text rendering; asked at each load.
    bool windows10OrLater_ = false;
    PanelModel model_;
    PanelLayout layout_;
    FrameCache frames_;
    std::vector<std::unique_ptr<platform::GroupTooltip>> tooltips_;
    platform::CollectionQueue* collections_;
    Sampler sampler_;
    std::unique_ptr<platform::MemorySurface> surface_;
};

}  // namespace tavisto
