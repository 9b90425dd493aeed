// The outcome of each thread's most recent control call, for LastControlResult and
// LastControlMessage: a fixed table, so that nothing is allocated and no thread-local storage
// has to be made when the heap may be exhausted.
#pragma once

#include <cstdint>

#include "tuner/control_result.h"

namespace tuner {

// Platform part: who is calling, and one lock around the table.
std::uint64_t currentThreadKey();
void lockThreadResults();
void unlockThreadResults();

// Keeps result as the calling thread's latest; the least recently used of 64 threads' results
// makes room for a new thread's.
void rememberResult(const ControlResult& result);

// The calling thread's latest result and its sentence (TUNER_NO_CALL_YET before any). The text
// stays valid until this thread's next control call.
int lastResultCode();
const char* lastResultMessage();

}  // namespace tuner
