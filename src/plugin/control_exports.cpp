// The exports that send keys to the tuner's blaster.
#include "blaster/serial_services.h"
#include "plugin/boundary.h"
#include "plugin/loaded_dev_name.h"
#include "plugin/plugin_environment.h"
#include "plugin/tuner_dll.h"
#include "tuner/key_commands.h"

namespace {

tuner::ControlEnvironment controlEnvironment() {
  return tuner::ControlEnvironment{tuner::pluginLog(), tuner::tunerConfigPath(),
                                   tuner::platformSerial()};
}

}  // namespace

extern "C" {

void PlayCommand(const Remote* remote, const char* command) {
  tuner::guarded([&] { tuner::PlayCommand(controlEnvironment(), remote, command); });
}

void MacroTune(int channel) {
  tuner::guarded([&] { tuner::MacroTune(controlEnvironment(), channel, loadedDevName); });
}

}  // extern "C"
