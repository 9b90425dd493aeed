#include "test_heap.h"

#include <cstdlib>

#include "remotes/heap.h"

namespace tuner {
namespace {
long failAt = -1;
long made = 0;
int quits = 0;
}  // namespace

void* allocateBlock(std::size_t size) {
  if (failAt >= 0 && made++ == failAt) return nullptr;
  if (failAt < 0) ++made;
  return std::malloc(size == 0 ? 1 : size);
}

void reportHeapExhausted() { ++quits; }

namespace testing {

void failAllocationAfter(long count) {
  failAt = count;
  made = 0;
  quits = 0;
}

long allocationsMade() { return made; }
int quitRequests() { return quits; }

}  // namespace testing
}  // namespace tuner
