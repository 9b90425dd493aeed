#include "tuner/key_commands.h"

#include <cstdio>
#include <cstring>

#include "blaster/blaster_link.h"
#include "blaster/port_setup.h"
#include "tuner/tuner_config.h"

namespace tuner {
namespace {

int digitKey(char digit) { return digit == '0' ? kZeroKey : digit - '0'; }

// The settings one control call works with.
struct TunerSettings {
  char comPort[kMaxPortNameLength + 1] = {};
  int ueitype = 0;
  int ueicode = 0;
};

// The port of one control call: closed by close(), or at the latest when the call is left.
class CallPort {
 public:
  explicit CallPort(SerialServices& serial) : serial_(serial) {}
  CallPort(const CallPort&) = delete;
  CallPort& operator=(const CallPort&) = delete;
  ~CallPort() { close(); }

  PortHandle& handle() { return handle_; }
  void close() {
    if (handle_ != kInvalidPort) serial_.close(handle_);
    handle_ = kInvalidPort;
  }

 private:
  SerialServices& serial_;
  PortHandle handle_ = kInvalidPort;
};

// Looks the tuner up and opens and probes its port; false, logged by the caller's name, if not.
bool openTunerPort(const ControlEnvironment& env, const BlasterLink& link, const char* caller,
                   const char* tunerName, TunerSettings& tuner, PortHandle& hndl) {
  if (!ReadCfgFile(env.log, env.configPath, tunerName, tuner.comPort, &tuner.ueitype,
                   &tuner.ueicode)) {
    LogMessage(env.log, "%s:Err:ReadCfg Failes\n", caller);
    return false;
  }
  LogMessage(env.log, "%s:Tuner[%s] comPort[%s] ueitype[%d] ueicode[%d]\n", caller, tunerName,
             tuner.comPort, tuner.ueitype, tuner.ueicode);
  if (!detectComPortHandle(link, tuner.comPort, hndl)) {
    LogMessage(env.log, "%s:Err:Com port not opened\n", caller);
    return false;
  }
  return true;
}

}  // namespace

int keyNumberForCommand(const char* command) {
  if (command[0] >= '0' && command[0] <= '9') return digitKey(command[0]);
  return decimalValue(command);
}

int leadingZeroKeys(int channel) {
  int count = 0;
  for (long long v = channel; v < 100; v *= 10) ++count;
  return count;
}

std::vector<int> digitKeys(int channel) {
  std::vector<int> keys;
  char channelStr[16];  // every int, its "." and the terminating zero
  std::snprintf(channelStr, sizeof channelStr, "%d.", channel);
  for (const char* c = channelStr; *c != '.'; ++c) keys.push_back(digitKey(*c));
  return keys;
}

std::vector<int> channelKeys(int channel) {
  std::vector<int> keys(static_cast<std::size_t>(leadingZeroKeys(channel)), kZeroKey);
  for (int key : digitKeys(channel)) keys.push_back(key);
  return keys;
}

void PlayCommand(const ControlEnvironment& env, const Remote* remote, const char* command) {
  LogMessage(env.log, "PlayCommand:Start name[%s]\n", command != nullptr ? command : "");
  if (remote == nullptr || remote->name == nullptr) {
    LogMessage(env.log, "PlayCommand:Err:Remote or its name is null\n");
    return;
  }
  LogMessage(env.log, "PlayCommand:Remotename[%s]\n", remote->name);
  if (command == nullptr) {
    LogMessage(env.log, "PlayCommand:Err:Command name is null\n");
    return;
  }
  TunerSettings tuner;
  const BlasterLink link{env.log, env.serial};
  CallPort hndl(env.serial);
  if (!openTunerPort(env, link, "PlayCommand", remote->name, tuner, hndl.handle())) return;
  const int key = keyNumberForCommand(command);
  LogMessage(env.log, "PlayCommand:Emitting [%d]\n", key);
  const int emitted = Emit(link, hndl.handle(), key, tuner.ueitype, tuner.ueicode);
  hndl.close();
  if (!emitted) {
    LogMessage(env.log, "PlayCommand:Err:Key not acknowledged [%d]\n", key);
    return;
  }
  LogMessage(env.log, "PlayCommand:End\n");
}

void MacroTune(const ControlEnvironment& env, int channel, const char* tunerName) {
  LogMessage(env.log, "MacroTune:Start: Channel [%d] loadedDevName [%s]\n", channel, tunerName);
  if (channel < 1) {
    LogMessage(env.log, "MacroTune:Err:Invalid channel [%d]\n", channel);
    return;
  }
  TunerSettings tuner;
  const BlasterLink link{env.log, env.serial};
  CallPort hndl(env.serial);
  if (!openTunerPort(env, link, "MacroTune", tunerName, tuner, hndl.handle())) return;
  bool acknowledged = true;
  for (int i = 0; acknowledged && i < leadingZeroKeys(channel); ++i) {
    LogMessage(env.log, "MacroTune:Emitting hdr [0]\n");
    acknowledged = Emit(link, hndl.handle(), kZeroKey, tuner.ueitype, tuner.ueicode) == 1;
  }
  for (int key : digitKeys(channel)) {
    if (!acknowledged) break;
    LogMessage(env.log, "MacroTune:Emitting [%d]\n", key);
    acknowledged = Emit(link, hndl.handle(), key, tuner.ueitype, tuner.ueicode) == 1;
  }
  hndl.close();
  if (!acknowledged) {
    LogMessage(env.log, "MacroTune:Err:Key not acknowledged, channel not sent\n");
    return;
  }
  LogMessage(env.log, "MacroTune:End\n");
}

}  // namespace tuner
