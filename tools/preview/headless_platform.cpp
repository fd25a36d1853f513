#include "preview/headless_platform.h"

#include <vector>

namespace tavisto::preview {

void ManualTimers::setTimer(std::uint64_t timerId, std::uint32_t, Callback onElapsed) {
    timers_[timerId] = std::move(onElapsed);
}

void ManualTimers::fireAll() {
    std::vector<std::pair<std::uint64_t, Callback>> due(timers_.begin(), timers_.end());
    for (auto& [timerId, callback] : due) {
        callback(timerId);
    }
}

namespace {

class PlainTooltip final : public platform::GroupTooltip {
  public:
    void moveTo(const Rect&) override {}
};

}  // namespace

std::unique_ptr<platform::GroupTooltip> HeadlessTooltips::create(TextSource, const Rect&) {
    return std::make_unique<PlainTooltip>();
}

}  // namespace tavisto::preview
