#include "plugin/thread_results.h"

#include <cstdlib>
#include <new>

#include "remotes/heap.h"

namespace tuner {
namespace {

// Stands in a thread's slot once its block could not be made: its latest result is lost.
char lostResult;

const char* fixedSentence(int code) {
  // Built once, on first use, into storage of its own: nothing is allocated.
  static char noCallYet[128];
  static char outOfMemory[128];
  static const bool built = [] {
    describeResult(ControlResult{}, noCallYet, sizeof noCallYet);
    ControlResult exhausted;
    exhausted.code = TUNER_OUT_OF_MEMORY;
    describeResult(exhausted, outOfMemory, sizeof outOfMemory);
    return true;
  }();
  (void)built;
  return code == TUNER_OUT_OF_MEMORY ? outOfMemory : noCallYet;
}

}  // namespace

void rememberResult(const ControlResult& result) {
  void* slot = threadSlot();
  if (slot == nullptr || slot == &lostResult) {
    slot = allocateBlock(sizeof(ThreadResult));
    if (slot == nullptr) {
      setThreadSlot(&lostResult);
      return;
    }
    new (slot) ThreadResult;
    setThreadSlot(slot);
  }
  auto* kept = static_cast<ThreadResult*>(slot);
  kept->code = result.code;
  describeResult(result, kept->message, sizeof kept->message);
}

int lastResultCode() {
  const void* slot = threadSlot();
  if (slot == nullptr) return TUNER_NO_CALL_YET;
  if (slot == &lostResult) return TUNER_OUT_OF_MEMORY;
  return static_cast<const ThreadResult*>(slot)->code;
}

const char* lastResultMessage() {
  const void* slot = threadSlot();
  if (slot == nullptr) return fixedSentence(TUNER_NO_CALL_YET);
  if (slot == &lostResult) return fixedSentence(TUNER_OUT_OF_MEMORY);
  return static_cast<const ThreadResult*>(slot)->message;
}

bool isResultBlock(const void* slot) { return slot != nullptr && slot != &lostResult; }

}  // namespace tuner
