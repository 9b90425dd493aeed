// tunerctl: a small host for the plug-in. It loads the library, calls its exports by name and
// prints what they answer, one operation after another in one process.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "command_line.h"
#include "config_check.h"
#include "host_files.h"
#include "operations.h"
#include "plugin/plugin_environment.h"
#include "plugin_api.h"
#include "session.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  CommandLine line;
  std::string problem;
  if (!parseCommandLine(args, line, problem)) {
    std::cerr << "tunerctl: " << problem << " (tunerctl --help lists the operations)\n";
    return 2;
  }
  if (line.help) {
    std::cout << usageText();
    return 0;
  }
  const std::string dll = line.dll.empty() ? defaultPluginPath() : givenPluginPath(line.dll);
  if (line.version) {
    const std::string version = pluginVersion(dll);
    if (version.empty()) {
      std::cerr << "tunerctl: cannot read the version of " << dll << "\n";
      return 3;
    }
    std::cout << "TunerDLL " << version << "\n";
    return 0;
  }
  PluginApi api;
  std::string error;
  if (!loadPlugin(dll, api, error)) {
    std::cerr << "tunerctl: cannot load " << dll << ": " << error;
    const int width = libraryWidth(dll);
    const int ownWidth = static_cast<int>(sizeof(void*) * 8);
    if (width != 0 && width != ownWidth)
      std::cerr << "; it is a " << width << "-bit plug-in and this tunerctl is " << ownWidth
                << "-bit: a program loads only a plug-in of its own width, so use the tunerctl"
                   " that came with it (the release's x86 and x64 folders each hold one)\n";
    else
      std::cerr << "; put the plug-in beside tunerctl or pass --dll PATH\n";
    return 3;
  }
  Session session(api);
  return session.run(line);
}
