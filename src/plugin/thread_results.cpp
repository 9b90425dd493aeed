#include "plugin/thread_results.h"

namespace tuner {
namespace {

constexpr int kThreads = 64;

struct ThreadResult {
  std::uint64_t thread = 0;
  std::uint64_t stamp = 0;  // 0: unused
  int code = TUNER_NO_CALL_YET;
  char message[512] = {};
};

ThreadResult results[kThreads];
std::uint64_t lastStamp = 0;
char noCallYet[128] = {};

class TableLock {
 public:
  TableLock() { lockThreadResults(); }
  ~TableLock() { unlockThreadResults(); }
  TableLock(const TableLock&) = delete;
  TableLock& operator=(const TableLock&) = delete;
};

ThreadResult* find(std::uint64_t thread) {
  for (ThreadResult& slot : results) {
    if (slot.stamp != 0 && slot.thread == thread) return &slot;
  }
  return nullptr;
}

}  // namespace

void rememberResult(const ControlResult& result) {
  const std::uint64_t thread = currentThreadKey();
  TableLock lock;
  ThreadResult* slot = find(thread);
  if (slot == nullptr) {
    slot = &results[0];
    for (ThreadResult& candidate : results) {
      if (candidate.stamp < slot->stamp) slot = &candidate;
    }
  }
  slot->thread = thread;
  slot->stamp = ++lastStamp;
  slot->code = result.code;
  describeResult(result, slot->message, sizeof slot->message);
}

int lastResultCode() {
  const std::uint64_t thread = currentThreadKey();
  TableLock lock;
  const ThreadResult* slot = find(thread);
  return slot != nullptr ? slot->code : TUNER_NO_CALL_YET;
}

const char* lastResultMessage() {
  const std::uint64_t thread = currentThreadKey();
  TableLock lock;
  const ThreadResult* slot = find(thread);
  if (slot != nullptr) return slot->message;
  if (noCallYet[0] == '\0') describeResult(ControlResult{}, noCallYet, sizeof noCallYet);
  return noCallYet;
}

}  // namespace tuner
