#include <windows.h>

#include "plugin/thread_results.h"

namespace tuner {
namespace {
SRWLOCK resultsLock = SRWLOCK_INIT;
}  // namespace

std::uint64_t currentThreadKey() { return GetCurrentThreadId(); }
void lockThreadResults() { AcquireSRWLockExclusive(&resultsLock); }
void unlockThreadResults() { ReleaseSRWLockExclusive(&resultsLock); }

}  // namespace tuner
