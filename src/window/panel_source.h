#pragma once
// What a thread runs once however many of its windows show the meters: the panel engine
// with its system backends, the collector that runs its collections away from the
// thread, and the watcher that reads the configuration file when it changes. Its timers,
// the collector's and the watcher's messages go to a message-only window of its own, so
// a window that shows the meters may come and go without a query added or a file read.

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "core/texts.h"
#include "panel/panel_engine.h"
#include "window/window_procedure.h"

namespace tavisto::window {

class PanelSource final : private WindowProcedure<PanelSource> {
  public:
    // Told on the source's thread after each reload that read the file.
    class Reader {
      public:
        virtual void sourceReloaded() noexcept = 0;

      protected:
        virtual ~Reader() = default;
    };

    // The source of the calling thread, made at the first call and shared by everyone on
    // the thread who holds it; null when it cannot be made. It starts watching the
    // configuration folder; the watcher reads the file and the reload follows. Release
    // it on the thread that took it.
    static std::shared_ptr<PanelSource> ofThisThread() noexcept;
    ~PanelSource();
    PanelSource(const PanelSource&) = delete;
    PanelSource& operator=(const PanelSource&) = delete;

    PanelEngine& engine() noexcept;
    // The texts of the windows that show this source's values: the meters' own while a
    // configuration is loaded, else those of the newest file's "language".
    const TextTable& texts() const;
    // Has the watcher read the file again, as after a change; the reload follows.
    void readConfigurationAgain() noexcept;
    // The top-level keys but the meter groups of the newest read that parsed: the
    // settings beside the meters, kept while later reads find no file or do not parse.
    // Null before the first.
    const nlohmann::json& lastSettings() const noexcept { return lastSettings_; }
    // Why the last reload kept what was shown (the file could not be read, or the parse's
    // or the load's message); empty after one that loaded.
    const std::string& refusal() const noexcept { return refusal_; }

    // A reader is told of each reload from now on; it leaves before it goes.
    void join(Reader& reader);
    void leave(Reader& reader) noexcept;

  private:
    friend class WindowProcedure<PanelSource>;
    static constexpr char kFailurePlace[] = "the panel source's window";
    struct Running;

    PanelSource() = default;
    bool handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // The watcher's message: loads what it read, and tells the readers when there was a read.
    void reload() noexcept;
    // The collector's message: the engine reads what was collected and its views draw.
    void collected() noexcept;

    std::unique_ptr<Running> running_;
    std::string refusal_;
    nlohmann::json lastSettings_;
    std::vector<Reader*> readers_;
};

}  // namespace tavisto::window
