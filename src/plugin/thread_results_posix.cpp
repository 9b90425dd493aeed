#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "plugin/thread_results.h"

namespace tuner {
namespace {
pthread_mutex_t resultsLock = PTHREAD_MUTEX_INITIALIZER;
}  // namespace

std::uint64_t currentThreadKey() { return static_cast<std::uint64_t>(syscall(SYS_gettid)); }
void lockThreadResults() { pthread_mutex_lock(&resultsLock); }
void unlockThreadResults() { pthread_mutex_unlock(&resultsLock); }

}  // namespace tuner
