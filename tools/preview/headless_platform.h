#pragma once
// A platform for running the engine outside a band window: a fixed client area,
// timers that the caller fires, tooltips and invalidations that are only counted.

#include <map>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace tavisto::preview {

class FixedScreen final : public platform::Screen {
  public:
    explicit FixedScreen(int dpi) : dpi_{dpi, dpi} {}
    platform::ScreenDpi dpi() const override { return dpi_; }

  private:
    platform::ScreenDpi dpi_;
};

class NotWindows final : public platform::SystemVersion {
  public:
    bool isWindows10OrLater() const override { return false; }
};

class FixedTheme final : public platform::ThemeSettings {
  public:
    explicit FixedTheme(platform::TaskbarTheme theme) : theme_(theme) {}
    platform::TaskbarTheme taskbarTheme() const override { return theme_; }

  private:
    platform::TaskbarTheme theme_;
};

// Numbers as an English locale writes them, so that pictures do not depend on the machine.
class EnglishLocale final : public platform::UserLocale {
  public:
    platform::NumberSeparators numberSeparators() const override { return {}; }
    std::vector<std::string> preferredLanguages() const override { return {"en-US"}; }
};

class PreviewWindow final : public platform::BandWindow {
  public:
    Rect clientRect() const override { return client; }
    void invalidate(const Rect&) override { ++invalidations; }
    Rect client{0, 0, 400, 40};
    int invalidations = 0;
};

// Timers that run only when the caller fires them, one period at a time.
class ManualTimers final : public platform::WindowTimers {
  public:
    void setTimer(std::uint64_t timerId, std::uint32_t elapse, Callback onElapsed) override;
    void killTimer(std::uint64_t timerId) override { timers_.erase(timerId); }
    // Fires every set timer once, in ascending identifier order.
    void fireAll();

  private:
    std::map<std::uint64_t, Callback> timers_;
};

// Time that moves only when the caller moves it: a round of the timers is a second.
class ManualClock final : public platform::Clock {
  public:
    std::uint64_t milliseconds() const override { return now; }
    std::uint64_t now = 0;
};

// Tips that never show, so their text is never asked for.
class HeadlessTooltips final : public platform::Tooltips {
  public:
    std::unique_ptr<platform::GroupTooltip> create(TextSource text, const Rect& area) override;
};

}  // namespace tavisto::preview
