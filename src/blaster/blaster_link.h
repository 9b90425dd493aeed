// The version probe and the key exchange over an open, configured port.
#pragma once

#include <cstddef>

#include "blaster/serial_services.h"
#include "log/diagnostic_log.h"

namespace tuner {

struct BlasterLink {
  const DiagnosticLog& log;
  SerialServices& serial;
};

// Single one-byte reads, of up to 1000 ms each, spent waiting for a key's acknowledgement.
constexpr int kAckReadAttempts = 5;

// Returns 1 when a blaster answered the version query with ten bytes, else 0; received, when
// given, is how many bytes came back.
int ZentravoxVersion(const BlasterLink& link, PortHandle hndl, std::size_t* received = nullptr);

// Sends one key command (nothing for key number 0) and waits, bounded, for its acknowledgement.
// Returns whether the key was acknowledged (always for key number 0).
bool SendKeyPacket(const BlasterLink& link, PortHandle hndl, int key, int ueitype, int ueicode);

// One key with its settle time. Returns 1, or 0 when the blaster did not acknowledge the key.
int Emit(const BlasterLink& link, PortHandle hndl, int key, int ueitype, int ueicode);

}  // namespace tuner
