// Nothing is thrown across the exported boundary: an export whose work fails by an exception (an
// exhausted heap, in practice) returns its failure value to the host instead.
#pragma once

namespace tuner {

template <typename Result, typename Body>
Result guarded(Result failure, Body body) noexcept {
  try {
    return body();
  } catch (...) {
    return failure;
  }
}

template <typename Body>
void guarded(Body body) noexcept {
  try {
    body();
  } catch (...) {
  }
}

}  // namespace tuner
