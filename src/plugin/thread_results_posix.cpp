#include <pthread.h>

#include <cstdlib>

#include "plugin/thread_results.h"

namespace tuner {
namespace {

pthread_key_t resultKey;
pthread_once_t resultKeyMade = PTHREAD_ONCE_INIT;
bool haveResultKey = false;

void releaseResult(void* slot) {
  if (isResultBlock(slot)) std::free(slot);
}

void makeResultKey() { haveResultKey = pthread_key_create(&resultKey, releaseResult) == 0; }

// A plug-in unloaded while threads live must not leave them a release routine that is gone.
struct ResultKeyDeleter {
  ~ResultKeyDeleter() {
    if (haveResultKey) pthread_key_delete(resultKey);
  }
} resultKeyDeleter;

}  // namespace

void* threadSlot() {
  pthread_once(&resultKeyMade, makeResultKey);
  return haveResultKey ? pthread_getspecific(resultKey) : nullptr;
}

void setThreadSlot(void* slot) {
  pthread_once(&resultKeyMade, makeResultKey);
  if (haveResultKey && pthread_setspecific(resultKey, slot) != 0) releaseResult(slot);
}

}  // namespace tuner
