#include "blaster/blaster_protocol.h"

#include <algorithm>
#include <cstdint>

namespace tuner::protocol {

VersionQuery versionQueryPacket() {
  return {kHeader[0], kHeader[1], kHeader[2], kHeader[3], 0x01, kOpVersionQuery};
}

std::uint8_t codeSetHigh(int ueitype, int ueicode) {
  // Widened so that large types meet no overflow; the bits mix as computed.
  const std::int64_t high = (static_cast<std::int64_t>(ueitype) * 16) | (ueicode / 256);
  return static_cast<std::uint8_t>(static_cast<std::uint64_t>(high) & 0xFF);
}

std::uint8_t codeSetLow(int ueicode) {
  return static_cast<std::uint8_t>(static_cast<unsigned>(ueicode % 256) & 0xFF);
}

KeyPacket keyPacket(int key, int ueitype, int ueicode) {
  return {kHeader[0],
          kHeader[1],
          kHeader[2],
          kHeader[3],
          0x06,
          kOpKey,
          codeSetHigh(ueitype, ueicode),
          codeSetLow(ueicode),
          static_cast<std::uint8_t>(static_cast<unsigned>(key) & 0xFF),
          0x00,
          0x00};
}

std::optional<DecodedPacket> decodePacket(const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() < kHeaderLength + 2) return std::nullopt;
  if (!std::equal(kHeader, kHeader + kHeaderLength, bytes.begin())) return std::nullopt;
  if (bytes[kHeaderLength] != bytes.size() - kHeaderLength - 1) return std::nullopt;
  const std::uint8_t opcode = bytes[kHeaderLength + 1];
  if (opcode == kOpVersionQuery && bytes.size() == kVersionQueryLength) {
    return DecodedPacket{kOpVersionQuery};
  }
  if (opcode == kOpKey && bytes.size() == kKeyPacketLength) {
    return DecodedPacket{kOpKey, bytes[6], bytes[7], bytes[8]};
  }
  return std::nullopt;
}

std::string hexText(const std::vector<std::uint8_t>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (std::uint8_t b : bytes) {
    if (!text.empty()) text += ' ';
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0F];
  }
  return text;
}

}  // namespace tuner::protocol
