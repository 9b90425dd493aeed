#include <windows.h>

#include "plugin_api.h"

std::string defaultPluginPath() {
  char self[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
  if (length == 0 || length >= sizeof self) return "TunerDLL.dll";
  std::string path(self, length);
  return path.substr(0, path.find_last_of("\\/") + 1) + "TunerDLL.dll";
}

std::string givenPluginPath(const std::string& name) {
  return name.find_first_of("\\/:") == std::string::npos ? ".\\" + name : name;
}

void* openPluginLibrary(const std::string& path, std::string& error) {
  HMODULE library = LoadLibraryA(path.c_str());
  if (library == nullptr) error = "LoadLibrary failed with error " + std::to_string(GetLastError());
  return reinterpret_cast<void*>(library);
}

void* pluginSymbol(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
