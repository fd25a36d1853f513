#pragma once
// The samples a history graph keeps for one counter: a ring of the newest values,
// one per pixel column of the graph, each with whether the counter was in alert.

#include <cstddef>
#include <vector>

namespace tavisto {

class SampleHistory {
  public:
    // Keeps at most `capacity` samples; when it shrinks, the oldest ones go.
    void resize(std::size_t capacity);
    // Adds the newest sample, dropping the oldest when the ring is full. Does nothing
    // while the capacity is 0.
    void push(double value);
    // The newest sample was taken while the counter's alert was raised.
    void markNewestInAlert();

    std::size_t capacity() const { return ring_.size(); }
    std::size_t size() const { return count_; }
    // The sample `age` pushes old: 0 is the newest. Requires age < size().
    double fromNewest(std::size_t age) const { return at(age).value; }
    bool inAlertFromNewest(std::size_t age) const { return at(age).inAlert; }

  private:
    struct Sample {
        double value = 0.0;
        bool inAlert = false;
    };
    const Sample& at(std::size_t age) const {
        return ring_[(next_ + ring_.size() - 1 - age) % ring_.size()];
    }

    std::vector<Sample> ring_;
    std::size_t next_ = 0;  // where the next sample goes
    std::size_t count_ = 0;
};

}  // namespace tavisto
