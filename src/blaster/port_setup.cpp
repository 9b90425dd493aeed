#include "blaster/port_setup.h"

#include <optional>

namespace tuner {
namespace {

struct SetupFailure {
  const char* message;  // logged once the port is closed; null for none
};

// Configures an open port, and drops a reply that came after an earlier call gave up, so that
// it is not taken for this probe's.
std::optional<SetupFailure> configurePort(const BlasterLink& link, const char* portName,
                                          PortHandle hndl) {
  const char* failure = nullptr;
  if (!link.serial.configure(hndl, portName, kBlasterLine, kFinalTimeouts, failure)) {
    return SetupFailure{failure};
  }
  link.serial.discardInput(hndl);
  return std::nullopt;
}

}  // namespace

PortOpenError getComPort(const BlasterLink& link, PortHandle& hndl, const char* portName) {
  LogMessage(link.log, "getComPort:Start[%s]\n", portName);
  PortOpenError error = PortOpenError::kNone;
  hndl = link.serial.open(portName, error);
  if (hndl == kInvalidPort && error == PortOpenError::kBusy) {
    // Another control call (a second tuner on the same blaster) or program has the port: its
    // turn ends within one channel change.
    LogMessage(link.log, "getComPort:Waiting for [%s], held by another call\n", portName);
    unsigned waited = 0;
    while (hndl == kInvalidPort && error == PortOpenError::kBusy && waited < kPortWaitMs) {
      link.serial.sleep(kPortRetryMs);
      waited += kPortRetryMs;
      hndl = link.serial.open(portName, error);
    }
    if (hndl == kInvalidPort) {
      LogMessage(link.log, "getComPort:Err:Still held after %u ms [%s]\n", waited, portName);
    }
  }
  LogMessage(link.log, "getComPort:End\n");
  return error;
}

int detectComPortHandle(const BlasterLink& link, const char* portName, PortHandle& hndl,
                        PortProblem* problem) {
  PortProblem unused;
  if (problem == nullptr) problem = &unused;
  *problem = PortProblem{};
  LogMessage(link.log, "detectComPortHandle:Start\n");
  int result = 0;
  const PortOpenError openError = getComPort(link, hndl, portName);
  if (hndl == kInvalidPort) {
    problem->step = PortProblem::kOpen;
    problem->openError = openError;
    LogMessage(link.log, "detectComPortHandle:Err:Invalid ComStr\n");
  } else if (const auto failure = configurePort(link, portName, hndl)) {
    link.serial.close(hndl);
    hndl = kInvalidPort;
    problem->step = PortProblem::kSettings;
    if (failure->message != nullptr) LogMessage(link.log, "%s", failure->message);
  } else if (ZentravoxVersion(link, hndl, &problem->received) == 1) {
    result = 1;
  } else {
    link.serial.close(hndl);
    hndl = kInvalidPort;
    problem->step = PortProblem::kProbe;
  }
  LogMessage(link.log, "detectComPortHandle:End [%d]\n", result);
  return result;
}

}  // namespace tuner
