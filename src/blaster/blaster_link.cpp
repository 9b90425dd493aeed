#include "blaster/blaster_link.h"

#include <array>
#include <cstdint>

#include "blaster/blaster_protocol.h"

namespace tuner {
namespace {

constexpr std::size_t kBufferSize = 1024;

template <std::size_t N>
void exchange(const BlasterLink& link, PortHandle hndl, const std::array<std::uint8_t, N>& packet,
              unsigned packetPauseMs) {
  const unsigned char lead = protocol::kLeadByte;
  const unsigned char trailer = protocol::kTrailerByte;
  link.serial.write(hndl, &lead, 1);
  link.serial.sleep(protocol::kLeadPauseMs);
  link.serial.write(hndl, packet.data(), packet.size());
  link.serial.sleep(packetPauseMs);
  link.serial.write(hndl, &trailer, 1);
}

}  // namespace

int ZentravoxVersion(const BlasterLink& link, PortHandle hndl, std::size_t* received) {
  LogMessage(link.log, "ZentravoxVersion:Start\n");
  std::array<unsigned char, kBufferSize> inbuf{};
  exchange(link, hndl, protocol::versionQueryPacket(), protocol::kVersionQueryPauseMs);
  const std::size_t size = link.serial.read(hndl, inbuf.data(), protocol::kVersionReplyLength);
  LogMessage(link.log, "ZentravoxVersion:size[%d]\n", static_cast<int>(size));
  if (received != nullptr) *received = size;
  int result = 0;
  if (size == protocol::kVersionReplyLength) {
    LogMessage(link.log, "Found blaster\n");
    result = 1;
  } else {
    LogMessage(link.log, "No Blaster found\n");
  }
  LogMessage(link.log, "ZentravoxVersion:End[%d]\n", result);
  return result;
}

bool SendKeyPacket(const BlasterLink& link, PortHandle hndl, int key, int ueitype, int ueicode) {
  if (key == 0) {
    link.serial.sleep(protocol::kNoKeyPauseMs);
    link.serial.sleep(protocol::kNoKeyPauseMs);
    return true;
  }
  exchange(link, hndl, protocol::keyPacket(key, ueitype, ueicode), protocol::kKeyPacketPauseMs);
  unsigned char ack = 0;
  for (int attempt = 0; attempt < kAckReadAttempts; ++attempt) {
    if (link.serial.read(hndl, &ack, protocol::kAckLength) == protocol::kAckLength) return true;
  }
  return false;
}

int Emit(const BlasterLink& link, PortHandle hndl, int key, int ueitype, int ueicode) {
  LogMessage(link.log, "Emit:Start\n");
  const bool acknowledged = SendKeyPacket(link, hndl, key, ueitype, ueicode);
  link.serial.sleep(protocol::kKeySettleMs);
  const int result = acknowledged ? 1 : 0;
  LogMessage(link.log, "Emit:End [%d]\n", result);
  return result;
}

}  // namespace tuner
