// The ten exports that only answer the host's questions about the device.
#include "log/diagnostic_log.h"
#include "plugin/boundary.h"
#include "plugin/plugin_environment.h"
#include "plugin/tuner_dll.h"

using tuner::guarded;
using tuner::LogMessage;
using tuner::pluginLog;

namespace {

const char kDeviceName[] = "Tolvarinet";

// Logs a message without arguments; the answer does not depend on it.
void logLine(const char* message) {
  guarded([message] { LogMessage(pluginLog(), "%s", message); });
}

}  // namespace

extern "C" {

const char* DeviceName(void) {
  logLine("DeviceName:Start\n");
  return kDeviceName;
}

// Ports are opened per control call from the configuration file; the number is only logged.
bool8 OpenDevice(int port) {
  guarded([port] { LogMessage(pluginLog(), "OpenDevice:Start:port[%d]\n", port); });
  return 1;
}

void CloseDevice(void) { logLine("CloseDevice:Start\n"); }

void InitDevice(void) { logLine("InitDevice:Start\n"); }

bool8 NeedBitrate(void) {
  logLine("NeedBitrate:Start\n");
  return 0;
}

bool8 NeedCarrierFrequency(void) {
  logLine("NeedCarrierFrequency:Start\n");
  return 0;
}

int FindBitRate(void) {
  logLine("FindBitRate:Start\n");
  return 0;
}

int FindCarrierFrequency(void) {
  logLine("FindCarrierFrequency:Start\n");
  return 0;
}

// The blaster does not learn codes.
int RecordCommand(void) {
  logLine("RecordCommand:Start\n");
  return 0;
}

bool8 CanMacroTune(void) {
  guarded([] { LogMessage(pluginLog(), "CanMacroTune: [%d]\n", 1); });
  return 1;
}

}  // extern "C"
