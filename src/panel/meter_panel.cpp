#include "panel/meter_panel.h"

#include <stdexcept>

#include "config/configuration_loader.h"
#include "render/frame.h"
#include "render/layout.h"
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

}  // namespace

MeterPanel::MeterPanel(platform::PlatformServices platform, nlohmann::json document,
                       std::int32_t horizontalBand)
    : platform_(platform), horizontalBand_(horizontalBand) {
    const platform::ScreenDpi dpi = platform_.screen.dpi();
    dpiScale_ = (dpi.horizontal + dpi.vertical) * 0.5 / 96.0;
    theme_ = platform_.theme.taskbarTheme();
    surface_ = platform_.surfaces.createMemorySurface();
    if (!surface_) {
        // Without a surface nothing could ever be drawn or painted: no panel at all.
        throw std::runtime_error("the memory drawing surface cannot be created");
    }
    try {
        load(std::move(document), horizontalBand);
        start();
    } catch (...) {
        stop();
        throw;
    }
}

MeterPanel::~MeterPanel() {
    stop();
}

std::unique_ptr<MeterPanel> MeterPanel::create(platform::PlatformServices platform,
                                               nlohmann::json document, std::int32_t horizontalBand,
                                               std::string& error) noexcept {
    try {
        return std::make_unique<MeterPanel>(platform, std::move(document), horizontalBand);
    } catch (const std::exception& failure) {
        keepMessage(error, failure.what());
    } catch (...) {
        keepMessage(error, "unknown error");
    }
    return nullptr;
}

std::string MeterPanel::reload(nlohmann::json document, std::int32_t horizontalBand) noexcept {
    std::string error;
    stop();
    try {
        load(std::move(document), horizontalBand);
        start();
        return error;
    } catch (const std::exception& failure) {
        keepMessage(error, failure.what());
    } catch (...) {
        keepMessage(error, "unknown error");
    }
    // The last configuration that loaded stays in force; it loaded before with the
    // same DPI scale, so it loads again.
    stop();
    try {
        load(config_, horizontalBand);
        start();
    } catch (...) {
        stop();
    }
    return error;
}

void MeterPanel::load(nlohmann::json document, std::int32_t horizontalBand) {
    horizontalBand_ = horizontalBand;
    const LoadContext context{dpiScale_, platform_.systemVersion, platform_.tooltips};
    nlohmann::json kept = document;
    loadModel(document, context, model_);
    config_ = std::move(kept);
    layoutPanel(model_, horizontalBand_ != 0, platform_.window.clientRect(), platform_.window);
}

void MeterPanel::start() {
    for (auto& [rate, meters] : model_.metersByRate) {
        const platform::QueryHandle query = platform_.counterQueries.openQuery();
        auto [entry, inserted] = queriesByRate_.try_emplace(rate, query);
        if (!inserted) {
            platform_.counterQueries.closeQuery(entry->second);
            entry->second = query;
        }
        std::size_t references = 0;
        for (auto& meter : meters) {
            for (MeterCounter& counter : meter->counters) {
                for (auto& [name, reference] : counter.references) {
                    ++references;
                    if (reference.kind == CounterReference::PerformanceCounter) {
                        reference.counterHandle =
                            platform_.counterQueries.addCounter(query, reference.path);
                    }
                }
            }
        }
        if (references > 0) {
            // The identifier keeps the full rate; the period is its low 32 bits.
            platform_.timers.setTimer(rate, static_cast<std::uint32_t>(rate),
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
    // Destroying a group removes its tool and destroys its tooltip window.
    model_.groups.clear();
    relayout(horizontalBand_);
}

void MeterPanel::closeQueries() noexcept {
    for (const auto& [rate, query] : queriesByRate_) {
        platform_.counterQueries.closeQuery(query);
    }
    queriesByRate_.clear();
}

void MeterPanel::relayout(std::int32_t horizontalBand) noexcept {
    horizontalBand_ = horizontalBand;
    theme_ = platform_.theme.taskbarTheme();
    try {
        rebuildFrame(model_, horizontalBand_ != 0, platform_.window, *surface_, theme_);
    } catch (...) {
        // A frame that cannot be drawn stays as it was; the next tick or resize redraws.
    }
}

void MeterPanel::sample(std::uint64_t rate) {
    if (const auto query = queriesByRate_.find(rate); query != queriesByRate_.end()) {
        platform_.counterQueries.collect(query->second);
    }
    const auto meters = model_.metersByRate.find(rate);
    if (meters == model_.metersByRate.end()) {
        return;
    }
    for (auto& meter : meters->second) {
        for (MeterCounter& counter : meter->counters) {
            for (auto& [name, reference] : counter.references) {
                reference.value =
                    reference.kind == CounterReference::PerformanceCounter
                        ? platform_.counterQueries.read(reference.counterHandle)
                        : readPerformanceField(reference.path, platform_.systemPerformance);
            }
        }
    }
    for (auto& meter : meters->second) {
        drawSampledMeter(*meter, *surface_, theme_);
    }
    platform_.window.invalidate(platform_.window.clientRect());
}

void MeterPanel::tick(std::uint64_t rate) noexcept {
    try {
        sample(rate);
    } catch (...) {
        // A tick that fails leaves the previous frame; the next tick tries again.
    }
}

}  // namespace tavisto
