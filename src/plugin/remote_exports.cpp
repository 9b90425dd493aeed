// The exports that make, link, free, save and load remote lists for the host.
#include "plugin/loaded_dev_name.h"
#include "plugin/plugin_environment.h"
#include "plugin/tuner_dll.h"
#include "remotes/remote_lists.h"
#include "remotes/remotes_file.h"

extern "C" {

Remote* CreateRemote(char* name, std::uint32_t carrier_freq, std::uint32_t bit_time,
                     Command* commands) {
  return tuner::CreateRemote(tuner::pluginLog(), name, carrier_freq, bit_time, commands);
}

void AddRemote(Remote* remote, Remote** head) {
  tuner::AddRemote(tuner::pluginLog(), remote, head);
}

Command* CreateCommand(char* name, Pattern* patterns) {
  return tuner::CreateCommand(tuner::pluginLog(), name, patterns);
}

void AddCommand(Command* command, Command** head) {
  tuner::AddCommand(tuner::pluginLog(), command, head);
}

void FreeRemotes(Remote** head) { tuner::FreeRemotes(tuner::pluginLog(), head); }

Remote* LoadRemotes(const char* path) {
  return tuner::LoadRemotes(tuner::pluginLog(), path, loadedDevName, sizeof loadedDevName);
}

void SaveRemotes(Remote* first, const char* path) {
  tuner::SaveRemotes(tuner::pluginLog(), first, path);
}

}  // extern "C"
