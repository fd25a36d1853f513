#pragma once
// The engine behind one band window: the configuration document, the meter model,
// the sampling schedule with its queries and timers, the layout of the model in the
// window's client area, the groups' tooltips, and the memory surface that every meter
// is drawn into with the frame cache of what its pixels show.

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

namespace tavisto {

class MeterPanel {
  public:
    // Sizes the back buffer, parses the configuration file's text with its bounds, loads
    // and starts the panel. Throws the parse's or the load's error when the text cannot
    // be interpreted, or when no memory surface can be created; nothing of the failed
    // panel remains.
    MeterPanel(platform::PlatformServices platform, std::string text, BandDirection direction);
    ~MeterPanel();
    MeterPanel(const MeterPanel&) = delete;
    MeterPanel& operator=(const MeterPanel&) = delete;

    // The constructor without exceptions, for callers that are exception barriers:
    // null, with the load's message in `error`, when the document cannot be loaded.
    static std::unique_ptr<MeterPanel> create(platform::PlatformServices platform, std::string text,
                                              BandDirection direction, std::string& error) noexcept;

    // Parse, stop, load, start. A text that does not parse within the bounds leaves the
    // panel running as it is; a document that fails to load does not leave the band
    // blank: the last configuration that loaded is loaded and started again. Returns
    // the parse's or the failed load's message, empty on success.
    std::string reload(std::string text, BandDirection direction) noexcept;

    // Ends sampling and releases the model: no timers, no groups, no meters, no
    // queries, and a new empty back buffer.
    void stop() noexcept;

    // Stores the band direction, reads the taskbar theme, lays out, rebuilds the frame
    // cache, replaces the back buffer with one of the client size and draws every meter.
    void relayout(BandDirection direction) noexcept;

    // One sampling tick of a refresh rate: collect, sample, redraw that rate's meters
    // whose pixels no longer show their values, and invalidate the window if any was.
    void tick(std::uint64_t rate) noexcept;

    const PanelModel& model() const { return model_; }
    // Where the model's groups and meters are in the client area.
    const PanelLayout& layout() const { return layout_; }
    // One per group, in the model's order; null where the system made none.
    const std::vector<std::unique_ptr<platform::GroupTooltip>>& tooltips() const {
        return tooltips_;
    }
    BandDirection direction() const { return direction_; }
    double dpiScale() const { return dpiScale_; }
    platform::MemorySurface& surface() { return *surface_; }
    const std::map<std::uint64_t, platform::QueryHandle>& queriesByRate() const {
        return queriesByRate_;
    }

  private:
    void load(nlohmann::json&& document, BandDirection direction);
    void restoreLastConfiguration(BandDirection direction) noexcept;
    void layOut(const Rect& client);
    void start();
    void closeQueries() noexcept;
    void sample(std::uint64_t rate);
    void retryFailedAdd(std::uint64_t rate, platform::QueryHandle& query,
                        std::vector<std::unique_ptr<Meter>>& meters);
    double readCounter(const MeterCounter& counter, CounterReference& reference);

    // Where a rate stands in retrying the counters that could not be added.
    struct AddRetry {
        std::uint64_t ticksToWait = 0;
        std::size_t nextReference = 0;  // position among the rate's counter references
    };

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
    std::map<std::uint64_t, platform::QueryHandle> queriesByRate_;
    std::map<std::uint64_t, AddRetry> addRetries_;
    // What each rate's performance record must hold; absent for rates that name no field.
    std::map<std::uint64_t, platform::PerformanceScope> performanceScopes_;
    std::unique_ptr<platform::MemorySurface> surface_;
};

}  // namespace tavisto
