#include "plugin_api.h"

#include <cstdint>
#include <cstdio>

#include "common/guarded_files.h"
#include "common/open_file.h"

namespace {

template <typename Function>
bool lookUp(void* library, const char* name, Function& function, std::string& error) {
  function = reinterpret_cast<Function>(pluginSymbol(library, name));
  if (function == nullptr) error = std::string("the plug-in does not export ") + name;
  return function != nullptr;
}

}  // namespace

bool loadPlugin(const std::string& path, PluginApi& api, std::string& error) {
  tuner::ReadOpen outcome = tuner::ReadOpen::kOpened;
  tuner::OpenFile file(tuner::openForReading(path.c_str(), false, UINT64_MAX, outcome));
  if (outcome == tuner::ReadOpen::kNotRegular) {
    error = "it is not a regular file";
    return false;
  }
  file.reset();
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
         lookUp(library, "MacroTune", api.macroTune, error) &&
         lookUp(library, "MacroTuneRecipe", api.macroTuneRecipe, error) &&
         lookUp(library, "MacroTuneChannel", api.macroTuneChannel, error) &&
         lookUp(library, "MacroTuneSettings", api.macroTuneSettings, error) &&
         lookUp(library, "LastControlResult", api.lastControlResult, error) &&
         lookUp(library, "LastControlMessage", api.lastControlMessage, error);
}

int libraryWidth(const std::string& path) {
  tuner::ReadOpen outcome = tuner::ReadOpen::kOpened;
  tuner::OpenFile file(tuner::openForReading(path.c_str(), false, UINT64_MAX, outcome));
  unsigned char head[0x40] = {};
  if (file == nullptr || std::fread(head, 1, sizeof head, file.get()) != sizeof head) return 0;
  if (head[0] == 0x7f && head[1] == 'E' && head[2] == 'L' && head[3] == 'F')
    return head[4] == 1 ? 32 : head[4] == 2 ? 64 : 0;  // ELF class
  if (head[0] != 'M' || head[1] != 'Z') return 0;
  const std::uint32_t peAt = head[0x3c] | head[0x3d] << 8 | head[0x3e] << 16 |
                             static_cast<std::uint32_t>(head[0x3f]) << 24;
  unsigned char pe[6] = {};
  if (std::fseek(file.get(), static_cast<long>(peAt), SEEK_SET) != 0 ||
      std::fread(pe, 1, sizeof pe, file.get()) != sizeof pe)
    return 0;
  if (pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0) return 0;
  const unsigned machine = pe[4] | pe[5] << 8;
  return machine == 0x14c ? 32 : machine == 0x8664 ? 64 : 0;  // i386, x86-64
}
