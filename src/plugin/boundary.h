// Nothing is thrown across the exported boundary: an export whose work fails by an exception (an
// exhausted heap, in practice) returns its failure value to the host instead.
#pragma once

#include "common/open_file.h"

namespace tuner {

// The C++ runtime makes its per-thread exception state on the first throw and ends the process
// if it cannot. One exception is thrown and caught at the start of each call while the heap has
// room, so that an exhausted heap later in the call can still be reported by an exception.
inline void prepareExceptionState() noexcept {
  if (!roomToOpenStream()) return;
  try {
    throw 0;
  } catch (int) {
  }
}

template <typename Result, typename Body>
Result guarded(Result failure, Body body) noexcept {
  prepareExceptionState();
  try {
    return body();
  } catch (...) {
    return failure;
  }
}

template <typename Body>
void guarded(Body body) noexcept {
  prepareExceptionState();
  try {
    body();
  } catch (...) {
  }
}

}  // namespace tuner
