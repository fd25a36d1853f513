#include "support/allocation_count.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<std::size_t> allocations{0};
std::atomic<long> live{0};
std::atomic<long> allocationsBeforeFailure{-1};
}  // namespace

namespace tavisto::testing {

std::size_t allocationCount() {
    return allocations.load();
}

long liveAllocations() {
    return live.load();
}

void failAllocationAfter(long count) {
    allocationsBeforeFailure = count;
}

}  // namespace tavisto::testing

// Every other form of new and delete reaches these.
void* operator new(std::size_t size) {
    long remaining = allocationsBeforeFailure.load();
    while (remaining >= 0 &&
           !allocationsBeforeFailure.compare_exchange_weak(remaining, remaining - 1)) {
    }
    if (remaining == 0) {
        allocationsBeforeFailure = -1;
        throw std::bad_alloc();
    }
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    ++allocations;
    ++live;
    return block;
}

// GCC cannot see that these replacements pair malloc with free and warns.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* block) noexcept {
    if (block != nullptr) {
        --live;
        std::free(block);
    }
}
#pragma GCC diagnostic pop

void operator delete(void* block, std::size_t) noexcept {
    operator delete(block);
}
