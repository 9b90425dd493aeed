#include <windows.h>

#include <cstdlib>

#include "remotes/heap.h"

namespace tuner {

void* allocateBlock(std::size_t size) { return std::malloc(size == 0 ? 1 : size); }

void reportHeapExhausted() { PostQuitMessage(0); }

}  // namespace tuner
