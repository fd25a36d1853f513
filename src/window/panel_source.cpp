#include "window/panel_source.h"

#include <algorithm>
#include <utility>

#include "core/failure_sink.h"
#include "platform/steady_clock.h"
#include "platform/win32/handles.h"
#include "platform/win32/notification_area.h"
#include "platform/win32/pdh_counter_queries.h"
#include "platform/win32/sensors.h"
#include "platform/win32/system_services.h"
#include "platform/win32/window_timers.h"
#include "tavisto_identifiers.h"
#include "window/collector.h"
#include "window/config_watcher.h"
#include "window/configuration_location.h"
#include "window/module_file.h"
#include "window/panel_window.h"
#include "window/window_texts.h"

namespace tavisto::window {
namespace {

constexpr wchar_t kSourceWindowClass[] = TAVISTO_PANEL_SOURCE_WINDOW_CLASS;

// Each thread's source. Band windows may live on different threads of the host, so the
// list is shared under a lock; a source is used only on its own thread. At namespace
// scope: a function-local static would take a guard that MinGW's win32 thread model
// backs with a semaphore that is never closed.
SRWLOCK sourcesLock = SRWLOCK_INIT;
std::vector<std::pair<DWORD, std::weak_ptr<PanelSource>>> sourcesByThread;

// The document's top-level members but its meter groups, which are most of it.
nlohmann::json settingsOf(const nlohmann::json& document) {
    nlohmann::json settings = nlohmann::json::object();
    if (document.is_object()) {
        for (const auto& [key, value] : document.items()) {
            if (key != "meterGroups") {
                settings[key] = value;
            }
        }
    }
    return settings;
}

// A click on an alert's balloon: Show values, in a Tavisto.exe of its own.
void openShowValues() {
    launch(companionLaunch(modulePath(), kShowValuesSwitch));
}

}  // namespace

// What runs once the source's window exists, in the order it must go: the watcher
// first, so that it posts no more; the engine hands a query still being collected to
// the collector, which closes it when the collection returns; the timers last.
struct PanelSource::Running {
    explicit Running(HWND window)
        : timers(window),
          collector(window, counterQueries, sensors),
          engine({systemVersion, *counterQueries, systemPerformance, *sensors, timers, locale,
                  platform::steadyClock()},
                 &collector) {
        engine.notifyThrough(&notifications);
    }

    win32::Win32SystemVersion systemVersion;
    win32::Win32UserLocale locale;
    // Shared with the collector, whose thread makes every call of them and may outlive this.
    std::shared_ptr<win32::PdhCounterQueries> counterQueries =
        std::make_shared<win32::PdhCounterQueries>();
    std::shared_ptr<win32::Win32Sensors> sensors = std::make_shared<win32::Win32Sensors>();
    win32::Win32SystemPerformance systemPerformance;
    win32::Win32WindowTimers timers;
    Collector collector;
    win32::NotificationArea notifications{thisModule(), TAVISTO_ICON_RESOURCE, openShowValues};
    PanelEngine engine;
    std::unique_ptr<ConfigWatcher> watcher;
};

std::shared_ptr<PanelSource> PanelSource::ofThisThread() noexcept {
    const DWORD thread = GetCurrentThreadId();
    try {
        {
            const win32::ExclusiveLock held(sourcesLock);
            std::erase_if(sourcesByThread, [](const auto& entry) { return entry.second.expired(); });
            for (const auto& [owner, source] : sourcesByThread) {
                if (owner == thread) {
                    return source.lock();
                }
            }
        }
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &procedure;
        windowClass.hInstance = thisModule();
        windowClass.lpszClassName = kSourceWindowClass;
        if (RegisterClassW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            reportFailure("the panel source", "its window class cannot be registered");
            return nullptr;
        }
        std::shared_ptr<PanelSource> made(new PanelSource());
        if (CreateWindowExW(0, kSourceWindowClass, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            thisModule(), made.get()) == nullptr ||
            made->window() == nullptr) {
            reportFailure("the panel source", "its window cannot be created");
            return nullptr;
        }
        made->running_ = std::make_unique<Running>(made->window());
        // Without a configuration folder there is nothing to watch, and nothing is read.
        if (!configurationFolder().empty()) {
            try {
                made->running_->watcher =
                    std::make_unique<ConfigWatcher>(configurationFolder(), made->window());
            } catch (...) {
                // No watcher, nothing read: the meters stay empty.
                reportCaughtException("the configuration watcher");
            }
        }
        if (!made->running_->watcher || !made->running_->watcher->running()) {
            made->refusal_ = "the configuration file cannot be watched or read";
        }
        const win32::ExclusiveLock held(sourcesLock);
        sourcesByThread.emplace_back(thread, made);
        return made;
    } catch (...) {
        // Out of memory, or no thread for the collector: no meters on this thread.
        reportCaughtException("the panel source");
        return nullptr;
    }
}

PanelSource::~PanelSource() {
    running_.reset();
    destroyWindow();
    // The class must not outlive a module that may be unloaded; while another thread's
    // source still has a window of it, this fails and that source's end unregisters it.
    UnregisterClassW(kSourceWindowClass, thisModule());
}

bool PanelSource::handleMessage(HWND, UINT message, WPARAM, LPARAM, LRESULT& result) {
    switch (message) {
        case kCollectedMessage:
            collected();
            result = 0;
            return true;
        case kReloadMessage:
            reload();
            result = 0;
            return true;
        default:
            return false;
    }
}

void PanelSource::reload() noexcept {
    if (!running_ || !running_->watcher) {
        return;
    }
    try {
        std::optional<ConfigurationRead> read = running_->watcher->takeRead();
        if (!read) {
            // The message came from someone else, or the read was taken already.
            return;
        }
        // A text that cannot be read, does not parse or does not load keeps what is shown.
        if (!read->text) {
            refusal_ = "the file cannot be read, or it is over the size limit";
        } else if (!read->parseError.empty()) {
            refusal_ = std::move(read->parseError);
        } else {
            lastSettings_ = settingsOf(read->document);
            refusal_ = running_->engine.load(std::move(*read->text), std::move(read->document));
        }
        // A reader told may make other readers leave: each is told only while it is here.
        const std::vector<Reader*> told = readers_;
        for (Reader* reader : told) {
            if (std::find(readers_.begin(), readers_.end(), reader) != readers_.end()) {
                reader->sourceReloaded();
            }
        }
    } catch (...) {
        // Out of memory while copying the text: nothing changes.
        reportCaughtException("reloading the configuration");
    }
}

void PanelSource::collected() noexcept {
    if (!running_) {
        return;
    }
    Collector::Finished finished;
    std::size_t count = 0;
    running_->collector.takeFinished(finished, count);
    for (std::size_t index = 0; index < count; ++index) {
        running_->engine.collected(finished[index]);
    }
}

PanelEngine& PanelSource::engine() noexcept {
    return running_->engine;
}

const TextTable& PanelSource::texts() const {
    const PanelEngine& engine = running_->engine;
    return engine.loaded() ? *engine.model().texts
                           : windowTexts(configuredLanguage(lastSettings_));
}

void PanelSource::readConfigurationAgain() noexcept {
    if (running_ && running_->watcher) {
        running_->watcher->readAgain();
    }
}

void PanelSource::join(Reader& reader) {
    readers_.push_back(&reader);
}

void PanelSource::leave(Reader& reader) noexcept {
    std::erase(readers_, &reader);
}

}  // namespace tavisto::window
