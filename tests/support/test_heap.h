// The heap the unit tests link: the standard allocator, which can be told to fail.
#pragma once

namespace tuner::testing {

// The allocation with this index from now (0: the next one) fails; -1: none fails.
void failAllocationAfter(long count);
// Allocations made since the last failAllocationAfter.
long allocationsMade();
// Quit requests made since the last failAllocationAfter.
int quitRequests();

}  // namespace tuner::testing
