#include "plugin_api.h"

namespace {

template <typename Function>
bool lookUp(void* library, const char* name, Function& function, std::string& error) {
  function = reinterpret_cast<Function>(pluginSymbol(library, name));
  if (function == nullptr) error = std::string("the plug-in does not export ") + name;
  return function != nullptr;
}

}  // namespace

bool loadPlugin(const std::string& path, PluginApi& api, std::string& error) {
  void* library = openPluginLibrary(path, error);
  if (library == nullptr) return false;
  return lookUp(library, "DeviceName", api.deviceName, error) &&
         lookUp(library, "OpenDevice", api.openDevice, error) &&
         lookUp(library, "CloseDevice", api.closeDevice, error) &&
         lookUp(library, "InitDevice", api.initDevice, error) &&
         lookUp(library, "NeedBitrate", api.needBitrate, error) &&
         lookUp(library, "NeedCarrierFrequency", api.needCarrierFrequency, error) &&
         lookUp(library, "FindBitRate", api.findBitRate, error) &&
         lookUp(library, "FindCarrierFrequency", api.findCarrierFrequency, error) &&
         lookUp(library, "RecordCommand", api.recordCommand, error) &&
         lookUp(library, "CanMacroTune", api.canMacroTune, error) &&
         lookUp(library, "CreateRemote", api.createRemote, error) &&
         lookUp(library, "AddRemote", api.addRemote, error) &&
         lookUp(library, "CreateCommand", api.createCommand, error) &&
         lookUp(library, "AddCommand", api.addCommand, error) &&
         lookUp(library, "FreeRemotes", api.freeRemotes, error) &&
         lookUp(library, "LoadRemotes", api.loadRemotes, error) &&
         lookUp(library, "SaveRemotes", api.saveRemotes, error) &&
         lookUp(library, "PlayCommand", api.playCommand, error) &&
         lookUp(library, "MacroTune", api.macroTune, error);
}
