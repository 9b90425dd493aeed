#include <windows.h>

#include <cstdlib>

#include "plugin/thread_results.h"
#include "plugin/thread_results_win32.h"

namespace tuner {
namespace {

INIT_ONCE resultIndexMade = INIT_ONCE_STATIC_INIT;
DWORD resultIndex = TLS_OUT_OF_INDEXES;

BOOL CALLBACK makeResultIndex(PINIT_ONCE, PVOID, PVOID*) {
  resultIndex = TlsAlloc();
  return TRUE;
}

DWORD index() {
  InitOnceExecuteOnce(&resultIndexMade, makeResultIndex, nullptr, nullptr);
  return resultIndex;
}

}  // namespace

void* threadSlot() { return index() != TLS_OUT_OF_INDEXES ? TlsGetValue(resultIndex) : nullptr; }

void setThreadSlot(void* slot) {
  if (index() == TLS_OUT_OF_INDEXES || TlsSetValue(resultIndex, slot) == 0) {
    if (isResultBlock(slot)) std::free(slot);
  }
}

void releaseThreadResult() {
  if (resultIndex == TLS_OUT_OF_INDEXES) return;
  void* slot = TlsGetValue(resultIndex);
  if (isResultBlock(slot)) std::free(slot);
  TlsSetValue(resultIndex, nullptr);
}

void releaseThreadResults() {
  releaseThreadResult();
  if (resultIndex != TLS_OUT_OF_INDEXES) TlsFree(resultIndex);
  resultIndex = TLS_OUT_OF_INDEXES;
}

}  // namespace tuner
