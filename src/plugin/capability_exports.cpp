// The ten exports that only answer the host's questions about the device.
#include "log/diagnostic_log.h"
#include "plugin/plugin_environment.h"
#include "plugin/tuner_dll.h"

using tuner::LogMessage;
using tuner::pluginLog;

namespace {
const char kDeviceName[] = "Tolvarinet";
}  // namespace

extern "C" {

const char* DeviceName(void) {
  LogMessage(pluginLog(), "DeviceName:Start\n");
  return kDeviceName;
}

// Ports are opened per control call from the configuration file; the number is only logged.
bool8 OpenDevice(int port) {
  LogMessage(pluginLog(), "OpenDevice:Start:port[%d]\n", port);
  return 1;
}

void CloseDevice(void) { LogMessage(pluginLog(), "CloseDevice:Start\n"); }

void InitDevice(void) { LogMessage(pluginLog(), "InitDevice:Start\n"); }

bool8 NeedBitrate(void) {
  LogMessage(pluginLog(), "NeedBitrate:Start\n");
  return 0;
}

bool8 NeedCarrierFrequency(void) {
  LogMessage(pluginLog(), "NeedCarrierFrequency:Start\n");
  return 0;
}

int FindBitRate(void) {
  LogMessage(pluginLog(), "FindBitRate:Start\n");
  return 0;
}

int FindCarrierFrequency(void) {
  LogMessage(pluginLog(), "FindCarrierFrequency:Start\n");
  return 0;
}

// The blaster does not learn codes.
int RecordCommand(void) {
  LogMessage(pluginLog(), "RecordCommand:Start\n");
  return 0;
}

bool8 CanMacroTune(void) {
  LogMessage(pluginLog(), "CanMacroTune: [%d]\n", 1);
  return 1;
}

}  // extern "C"
