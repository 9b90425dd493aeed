// The plug-in's exports, looked up by name the way a host looks them up.
#pragma once

#include <string>

#include "plugin/tuner_dll.h"

struct PluginApi {
  decltype(&DeviceName) deviceName = nullptr;
  decltype(&OpenDevice) openDevice = nullptr;
  decltype(&CloseDevice) closeDevice = nullptr;
  decltype(&InitDevice) initDevice = nullptr;
  decltype(&NeedBitrate) needBitrate = nullptr;
  decltype(&NeedCarrierFrequency) needCarrierFrequency = nullptr;
  decltype(&FindBitRate) findBitRate = nullptr;
  decltype(&FindCarrierFrequency) findCarrierFrequency = nullptr;
  decltype(&RecordCommand) recordCommand = nullptr;
  decltype(&CanMacroTune) canMacroTune = nullptr;
  decltype(&CreateRemote) createRemote = nullptr;
  decltype(&AddRemote) addRemote = nullptr;
  decltype(&CreateCommand) createCommand = nullptr;
  decltype(&AddCommand) addCommand = nullptr;
  decltype(&FreeRemotes) freeRemotes = nullptr;
  decltype(&LoadRemotes) loadRemotes = nullptr;
  decltype(&SaveRemotes) saveRemotes = nullptr;
  decltype(&PlayCommand) playCommand = nullptr;
  decltype(&MacroTune) macroTune = nullptr;
  decltype(&MacroTuneRecipe) macroTuneRecipe = nullptr;
  decltype(&MacroTuneChannel) macroTuneChannel = nullptr;
  decltype(&MacroTuneSettings) macroTuneSettings = nullptr;
  decltype(&LastControlResult) lastControlResult = nullptr;
  decltype(&LastControlMessage) lastControlMessage = nullptr;
};

// Platform part: the plug-in file beside this program, the file a --dll name stands for (one
// without a folder is in the current folder, never looked for on the system's search path), and
// loading a library and its symbols.
std::string defaultPluginPath();
std::string givenPluginPath(const std::string& name);
void* openPluginLibrary(const std::string& path, std::string& error);
void* pluginSymbol(void* library, const char* name);

// Loads the library at path and looks up all its exports; false with error set otherwise. Only
// a regular file is loaded: a pipe or a device there is refused before the loader opens it.
bool loadPlugin(const std::string& path, PluginApi& api, std::string& error);

// 32 or 64 for a PE or ELF library of that width, 0 if the file says neither.
int libraryWidth(const std::string& path);
