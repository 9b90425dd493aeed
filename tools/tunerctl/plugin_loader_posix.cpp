#include <dlfcn.h>
#include <unistd.h>

#include <climits>

#include "plugin_api.h"

std::string defaultPluginPath() {
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return "./TunerDLL.so";
  std::string path(self, static_cast<std::size_t>(length));
  return path.substr(0, path.rfind('/') + 1) + "TunerDLL.so";
}

void* openPluginLibrary(const std::string& path, std::string& error) {
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) error = dlerror();
  return library;
}

void* pluginSymbol(void* library, const char* name) { return dlsym(library, name); }
