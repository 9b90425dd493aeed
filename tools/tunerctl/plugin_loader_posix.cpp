#include <dlfcn.h>
#include <unistd.h>

#include <climits>

#include "plugin_api.h"

std::string defaultPluginPath() {
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return "./TunerDLL.so";
  std::string path(self, static_cast<std::size_t>(length));
  const std::string directory = path.substr(0, path.rfind('/') + 1);
  // Built, it lies beside tunerctl; installed, in its own folder of the library directory.
  const std::string beside = directory + "TunerDLL.so";
  const std::string installed = directory + TUNER_PLUGIN_FROM_BINDIR + "/TunerDLL.so";
  return access(beside.c_str(), F_OK) != 0 && access(installed.c_str(), F_OK) == 0 ? installed
                                                                                   : beside;
}

std::string givenPluginPath(const std::string& name) {
  return name.find('/') == std::string::npos ? "./" + name : name;
}

void* openPluginLibrary(const std::string& path, std::string& error) {
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) error = dlerror();
  return library;
}

void* pluginSymbol(void* library, const char* name) { return dlsym(library, name); }
