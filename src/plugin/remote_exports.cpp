// The exports that make, link, free, save and load remote lists for the host.
#include "plugin/boundary.h"
#include "plugin/loaded_dev_name.h"
#include "plugin/plugin_environment.h"
#include "plugin/tuner_dll.h"
#include "remotes/remote_lists.h"
#include "remotes/remotes_file.h"

using tuner::guarded;
using tuner::pluginLog;

extern "C" {

Remote* CreateRemote(char* name, std::uint32_t carrier_freq, std::uint32_t bit_time,
                     Command* commands) {
  return guarded<Remote*>(nullptr, [&] {
    return tuner::CreateRemote(pluginLog(), name, carrier_freq, bit_time, commands);
  });
}

void AddRemote(Remote* remote, Remote** head) {
  guarded([&] { tuner::AddRemote(pluginLog(), remote, head); });
}

Command* CreateCommand(char* name, Pattern* patterns) {
  return guarded<Command*>(nullptr,
                           [&] { return tuner::CreateCommand(pluginLog(), name, patterns); });
}

void AddCommand(Command* command, Command** head) {
  guarded([&] { tuner::AddCommand(pluginLog(), command, head); });
}

void FreeRemotes(Remote** head) {
  guarded([&] { tuner::FreeRemotes(pluginLog(), head); });
}

Remote* LoadRemotes(const char* path) {
  return guarded<Remote*>(nullptr, [&] {
    return tuner::LoadRemotes(pluginLog(), path, loadedDevName, sizeof loadedDevName);
  });
}

void SaveRemotes(Remote* first, const char* path) {
  guarded([&] { tuner::SaveRemotes(pluginLog(), first, path, tuner::platformSaveFiles()); });
}

}  // extern "C"
