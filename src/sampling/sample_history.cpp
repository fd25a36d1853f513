#include "sampling/sample_history.h"

#include <algorithm>

namespace tavisto {

void SampleHistory::resize(std::size_t capacity) {
    if (capacity == ring_.size()) {
        return;
    }
    const std::size_t kept = std::min(count_, capacity);
    std::vector<Sample> resized(capacity);
    // Oldest kept sample first, so that the next one goes right after the newest.
    for (std::size_t index = 0; index < kept; ++index) {
        resized[index] = at(kept - 1 - index);
    }
    ring_ = std::move(resized);
    count_ = kept;
    next_ = capacity == 0 ? 0 : kept % capacity;
}

void SampleHistory::push(double value) {
    if (ring_.empty()) {
        return;
    }
    ring_[next_] = {value, false};
    next_ = (next_ + 1) % ring_.size();
    count_ = std::min(count_ + 1, ring_.size());
}

void SampleHistory::markNewestInAlert() {
    if (count_ > 0) {
        ring_[(next_ + ring_.size() - 1) % ring_.size()].inAlert = true;
    }
}

}  // namespace tavisto
