#pragma once
// One window's view of a panel engine: the layout of the engine's model in the window's
// client area at the window's DPI and direction, the groups' tooltips, and the memory
// surface that every meter is drawn into with the frame cache of what its pixels show.
// Views of one engine share its model and samples; each draws on its own.

#include <cstdint>
#include <memory>
#include <vector>

#include "config/meter_model.h"
#include "panel/panel_engine.h"
#include "platform/platform.h"
#include "render/layout.h"
#include "render/meter_frame.h"
#include "render/meters.h"

namespace tavisto {

class PanelView final : public PanelEngine::View {
  public:
    // What a view needs from the system for its window.
    struct Services {
        platform::Screen& screen;
        platform::BandWindow& window;
        platform::Tooltips& tooltips;
        platform::SurfaceFactory& surfaces;
        platform::ThemeSettings& theme;
    };

    // Attaches to the engine, which must outlive the view, and shows what it has loaded.
    // Throws when no memory surface can be created: nothing could ever be drawn.
    PanelView(Services services, PanelEngine& engine, BandDirection direction);
    ~PanelView() override;
    PanelView(const PanelView&) = delete;
    PanelView& operator=(const PanelView&) = delete;

    // Stores the band direction, reads the taskbar theme and the screen's DPI, lays out,
    // rebuilds the frame cache, replaces the back buffer with one of the client size and
    // draws every meter. The engine's model stays loaded: samples and histories are kept.
    void relayout(BandDirection direction) noexcept;

    const PanelModel& model() const noexcept { return engine_.model(); }
    const PanelSamples& samples() const noexcept { return engine_.samples(); }
    // How the meters and their words write numbers.
    const platform::NumberSeparators& numberSeparators() const noexcept {
        return engine_.numberSeparators();
    }
    // Where the model's groups and meters are in the client area.
    const PanelLayout& layout() const noexcept { return layout_; }
    // One per group, in the model's order; null where the system made none.
    const std::vector<std::unique_ptr<platform::GroupTooltip>>& tooltips() const noexcept {
        return tooltips_;
    }
    BandDirection direction() const noexcept { return direction_; }
    double dpiScale() const noexcept { return dpiScale_; }
    platform::MemorySurface& surface() noexcept { return *surface_; }
    const platform::MemorySurface& surface() const noexcept { return *surface_; }

  private:
    void modelGoing() noexcept override;
    void modelLoaded() noexcept override;
    void rateSampled(std::uint64_t rate) noexcept override;
    void numbersChanged() noexcept override;
    DrawSettings drawSettings() const;
    std::size_t historyCapacity(std::size_t meter) const noexcept override;
    void layOut();

    Services services_;
    PanelEngine& engine_;
    BandDirection direction_;
    platform::TaskbarTheme theme_ = platform::TaskbarTheme::Dark;
    double dpiScale_ = 1.0;
    PanelLayout layout_;
    FrameCache frames_;
    std::vector<std::unique_ptr<platform::GroupTooltip>> tooltips_;
    std::unique_ptr<platform::MemorySurface> surface_;
};

}  // namespace tavisto
