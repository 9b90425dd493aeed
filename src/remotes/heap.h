// Heap blocks for the records, from the standard allocator, with the platform's answer to an
// exhausted heap. Provided per platform; the unit tests link a version that can fail on demand.
#pragma once

#include <cstddef>

namespace tuner {

// A fresh block of at least one byte, or null when the heap is exhausted.
void* allocateBlock(std::size_t size);

// Tells the host that the heap is exhausted (a quit request on Windows).
void reportHeapExhausted();

}  // namespace tuner
