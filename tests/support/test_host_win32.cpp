// A bare host for the Windows end-to-end tests.
//   test-host DLL exhaust FILE         uses up its address space (reserves every free region it
//                                      can, gives about 2 MB back), then loads the remotes file;
//                                      prints what LoadRemotes returned and whether a quit request
//                                      was posted: the process must live to print it.
//   test-host DLL tune FILE CHANNEL    loads the remotes file and tunes the channel, as a
//                                      recording host does.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

struct Remote;
using LoadRemotesFn = Remote* (*)(const char*);
using FreeRemotesFn = void (*)(Remote**);
using MacroTuneFn = void (*)(int);

int main(int argc, char** argv) {
  const bool exhaust = argc == 4 && std::strcmp(argv[2], "exhaust") == 0;
  const bool tune = argc == 5 && std::strcmp(argv[2], "tune") == 0;
  if (!exhaust && !tune) {
    std::fprintf(stderr, "usage: test-host DLL exhaust FILE | test-host DLL tune FILE CHANNEL\n");
    return 2;
  }
  HMODULE plugin = LoadLibraryA(argv[1]);
  if (plugin == nullptr) return 4;
  auto load = reinterpret_cast<LoadRemotesFn>(
      reinterpret_cast<void*>(GetProcAddress(plugin, "LoadRemotes")));
  auto release = reinterpret_cast<FreeRemotesFn>(
      reinterpret_cast<void*>(GetProcAddress(plugin, "FreeRemotes")));
  auto macroTune =
      reinterpret_cast<MacroTuneFn>(reinterpret_cast<void*>(GetProcAddress(plugin, "MacroTune")));
  if (load == nullptr || release == nullptr || macroTune == nullptr) return 4;
  if (tune) {
    Remote* list = load(argv[3]);
    release(&list);
    macroTune(std::atoi(argv[4]));
    return 0;
  }
  MSG message;
  PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue, made while it can be

  std::vector<void*> reserved;
  reserved.reserve(1 << 16);
  for (SIZE_T chunk = SIZE_T{64} << 20; chunk >= (SIZE_T{64} << 10); chunk /= 2) {
    while (reserved.size() < reserved.capacity()) {
      void* block = VirtualAlloc(nullptr, chunk, MEM_RESERVE, PAGE_NOACCESS);
      if (block == nullptr) break;
      reserved.push_back(block);
    }
  }
  // The smallest regions, reserved last, go back first: about 2 MB of them.
  SIZE_T returned = 0;
  while (!reserved.empty() && returned < (SIZE_T{2} << 20)) {
    MEMORY_BASIC_INFORMATION info{};
    VirtualQuery(reserved.back(), &info, sizeof info);
    VirtualFree(reserved.back(), 0, MEM_RELEASE);
    returned += info.RegionSize;
    reserved.pop_back();
  }

  Remote* list = load(argv[3]);
  const bool quit = PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
  const bool loaded = list != nullptr;
  if (list != nullptr) release(&list);
  for (void* block : reserved) VirtualFree(block, 0, MEM_RELEASE);
  std::printf("LoadRemotes: %s, quit request: %s\n", loaded ? "list" : "null", quit ? "yes" : "no");
  return 0;
}
