// The outcome of each thread's most recent control call, for LastControlResult and
// LastControlMessage. Each thread keeps its own in a block of its own, made at its first control
// call and released when it ends; a thread whose block could not be made (the heap was
// exhausted) reads a fixed answer instead.
#pragma once

#include "tuner/control_result.h"

namespace tuner {

struct ThreadResult {
  int code = TUNER_NO_CALL_YET;
  char message[512] = {};
};

// Platform part: the calling thread's own pointer, null until it is set; a result block in it
// is released with std::free when the thread ends.
void* threadSlot();
void setThreadSlot(void* slot);

// Whether a slot's pointer is a block to release.
bool isResultBlock(const void* slot);

// Keeps result as the calling thread's latest.
void rememberResult(const ControlResult& result);

// The calling thread's latest result and its sentence (TUNER_NO_CALL_YET before any). The text
// stays valid until this thread's next control call or its end.
int lastResultCode();
const char* lastResultMessage();

}  // namespace tuner
