#pragma once
// The test program's own operator new and delete: they count allocations, and can be
// made to fail one, for tests of allocation behaviour.

#include <cstddef>

namespace tavisto::testing {

// Allocations made through operator new since the program started.
std::size_t allocationCount();

// Blocks allocated through operator new and not yet deleted.
long liveAllocations();

// After `count` more successful allocations the next one throws std::bad_alloc, once;
// -1 turns failing off.
void failAllocationAfter(long count);

}  // namespace tavisto::testing
