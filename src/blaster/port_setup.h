// Opening a blaster's port by name, setting it up at 19200 8-N-1 and probing for the blaster.
#pragma once

#include "blaster/blaster_link.h"
#include "blaster/serial_services.h"

namespace tuner {

// 19200 baud, 8 data bits, no parity, 1 stop bit, no flow control, DTR and RTS low.
constexpr LineSetup kBlasterLine = {19200, 8, false, 1, false, false};
// In force for the probe and every key: a read of n bytes gives up after 500 x n + 500 ms.
constexpr CommTimeouts kFinalTimeouts = {500, 500, 500, 500, 500};

// How long a control call waits for a port that another call holds, and how often it tries:
// longer than the longest channel change (ten digits, about 7 s).
constexpr unsigned kPortWaitMs = 10000;
constexpr unsigned kPortRetryMs = 50;

// Opens the named port exclusively, waiting up to kPortWaitMs while another call or program holds
// it; hndl is kInvalidPort when it cannot be opened, and the result says why.
PortOpenError getComPort(const BlasterLink& link, PortHandle& hndl, const char* portName);

// Which step of opening, setting up and probing a port failed.
struct PortProblem {
  enum Step { kNone, kOpen, kSettings, kProbe } step = kNone;
  PortOpenError openError = PortOpenError::kNone;  // for kOpen
  std::size_t received = 0;                        // for kProbe: bytes of the version reply
};

// Returns 1 with hndl open, configured and probed; or 0 with the port closed, and problem, when
// given, says which step failed.
int detectComPortHandle(const BlasterLink& link, const char* portName, PortHandle& hndl,
                        PortProblem* problem = nullptr);

}  // namespace tuner
