#include "blaster/port_setup.h"

#include <optional>

namespace tuner {
namespace {

constexpr std::uint32_t kLineSettingsLength = sizeof(LineSettings);

struct SetupFailure {
  const char* message;  // logged once the port is closed; null for none
};

// Configures an open port; the first step that fails stops it and says what to log.
std::optional<SetupFailure> configurePort(const BlasterLink& link, const char* portName,
                                          PortHandle hndl) {
  link.serial.applyDefaultConfig(portName, hndl);

  LineSettings dcb{};
  if (!link.serial.getState(hndl, dcb)) {
    return SetupFailure{"detectComPortHandle:Err:Failed to get GetCommState\n"};
  }
  dcb = LineSettings{};
  dcb.length = kLineSettingsLength;
  if (!link.serial.buildLineSettings(kLineMode, dcb)) {
    return SetupFailure{"detectComPortHandle:Err:Failed to get BuildCommDCB\n"};
  }
  dcb.flags &= ~(kDtrControlMask | kRtsControlMask);
  if (!link.serial.setState(hndl, dcb)) {
    return SetupFailure{"detectComPortHandle:Err:Failed to get SetCommState\n"};
  }
  if (!link.serial.setTimeouts(hndl, kFirstTimeouts)) {
    return SetupFailure{"detectComPortHandle:Err:Failed to get SetCommTimeouts\n"};
  }
  if (!link.serial.setTimeouts(hndl, kFinalTimeouts)) return SetupFailure{nullptr};
  return std::nullopt;
}

}  // namespace

void getComPort(const BlasterLink& link, PortHandle& hndl, const char* portName) {
  LogMessage(link.log, "getComPort:Start[%s]\n", portName);
  hndl = link.serial.open(portName);
  LogMessage(link.log, "getComPort:End\n");
}

int detectComPortHandle(const BlasterLink& link, const char* portName, PortHandle& hndl) {
  LogMessage(link.log, "detectComPortHandle:Start\n");
  int result = 0;
  getComPort(link, hndl, portName);
  if (hndl == kInvalidPort) {
    LogMessage(link.log, "detectComPortHandle:Err:Invalid ComStr\n");
  } else if (const auto failure = configurePort(link, portName, hndl)) {
    link.serial.close(hndl);
    hndl = kInvalidPort;
    if (failure->message != nullptr) LogMessage(link.log, "%s", failure->message);
  } else if (ZentravoxVersion(link, hndl) == 1) {
    result = 1;
  } else {
    link.serial.close(hndl);
    hndl = kInvalidPort;
  }
  LogMessage(link.log, "detectComPortHandle:End [%d]\n", result);
  return result;
}

}  // namespace tuner
