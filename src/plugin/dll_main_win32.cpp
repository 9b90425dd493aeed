// Library entry: nothing is prepared at load time; a thread's control result is released when
// the thread ends, and the index that holds them when the plug-in is unloaded.
#include <windows.h>

#include "plugin/thread_results_win32.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_THREAD_DETACH) tuner::releaseThreadResult();
  if (reason == DLL_PROCESS_DETACH) tuner::releaseThreadResults();
  return TRUE;
}
