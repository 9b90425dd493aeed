#include "blaster/blaster_protocol.h"

#include <algorithm>
#include <cstdint>

#include "common/hex_digits.h"
#include "common/whole_number.h"

namespace tuner::protocol {

bool parseCodeSet(const std::string& text, int& ueitype, int& ueicode) {
  const std::size_t comma = text.find(',');
  return comma != std::string::npos &&
         parseWholeNumber(text.substr(0, comma), 0, kMaxUeiType, ueitype) &&
         parseWholeNumber(text.substr(comma + 1), 0, kMaxUeiCode, ueicode);
}

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

std::vector<std::uint8_t> versionReply(std::size_t length) {
  static const char kName[] = "BLASTERSIM";
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < length; ++i) {
    bytes.push_back(static_cast<std::uint8_t>(kName[i % (sizeof kName - 1)]));
  }
  return bytes;
}

CodeSet codeSetOf(std::uint8_t high, std::uint8_t low) {
  return CodeSet{high >> 4, ((high & 0x0F) << 8) | low};
}

std::vector<Frame> FrameReader::take(const std::uint8_t* data, std::size_t count, double at) {
  std::vector<Frame> frames;
  for (std::size_t i = 0; i < count; ++i) takeByte(data[i], at, frames);
  flushJunk(frames);
  return frames;
}

void FrameReader::takeByte(std::uint8_t byte, double at, std::vector<Frame>& frames) {
  std::vector<std::uint8_t>& packet = packet_.bytes;
  if (!packet.empty()) {
    packet.push_back(byte);
    const std::size_t n = packet.size();
    if (n <= kHeaderLength && byte != kHeader[n - 1]) {
      frames.push_back(Frame{Frame::kJunk, packet_.at, packet, std::nullopt});
      packet.clear();
    } else if (n > kHeaderLength && n == kHeaderLength + 1u + packet[kHeaderLength]) {
      packet_.packet = decodePacket(packet);
      frames.push_back(packet_);
      awaitingTrailer_ = packet_.packet;
      packet.clear();
    }
    return;
  }
  if (byte == kHeader[0]) {
    flushJunk(frames);
    packet.push_back(byte);
    packet_.at = at;
    return;
  }
  if (byte == kLeadByte) {
    flushJunk(frames);
    if (awaitingTrailer_) {
      frames.push_back(Frame{Frame::kTrailer, at, {byte}, awaitingTrailer_});
      awaitingTrailer_.reset();
    } else {
      frames.push_back(Frame{Frame::kLead, at, {byte}, std::nullopt});
    }
    return;
  }
  if (junk_.bytes.empty()) junk_.at = at;
  junk_.bytes.push_back(byte);
}

void FrameReader::flushJunk(std::vector<Frame>& frames) {
  if (junk_.bytes.empty()) return;
  frames.push_back(Frame{Frame::kJunk, junk_.at, junk_.bytes, std::nullopt});
  junk_.bytes.clear();
}

std::string hexText(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  for (std::uint8_t b : bytes) {
    if (!text.empty()) text += ' ';
    appendHexByte(text, b);
  }
  return text;
}

}  // namespace tuner::protocol
