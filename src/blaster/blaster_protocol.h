// The packets exchanged with the blaster, as pure functions of their fields.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tuner::protocol {

constexpr std::uint8_t kHeader[] = {0xBC, 0xAC, 0x0D, 0x00};
constexpr std::size_t kHeaderLength = sizeof kHeader;

enum Opcode : std::uint8_t {
  kOpKey = 0x01,
  kOpVersionQuery = 0x08,
};

// Every exchange: lead byte, pause, packet, pause, trailer byte, then the reply is read.
constexpr std::uint8_t kLeadByte = 0x00;
constexpr std::uint8_t kTrailerByte = 0x00;
constexpr unsigned kLeadPauseMs = 100;
constexpr unsigned kVersionQueryPauseMs = 100;
constexpr unsigned kKeyPacketPauseMs = 333;
constexpr unsigned kKeySettleMs = 250;
constexpr unsigned kNoKeyPauseMs = 250;  // taken twice in place of key number 0

constexpr std::size_t kVersionQueryLength = 6;
constexpr std::size_t kKeyPacketLength = 11;
constexpr std::size_t kVersionReplyLength = 10;
constexpr std::size_t kAckLength = 1;

using VersionQuery = std::array<std::uint8_t, kVersionQueryLength>;
using KeyPacket = std::array<std::uint8_t, kKeyPacketLength>;

VersionQuery versionQueryPacket();

// Code set high byte: (ueitype x 16) OR (ueicode / 256), low 8 bits; no range test.
std::uint8_t codeSetHigh(int ueitype, int ueicode);
// Code set low byte: ueicode modulo 256 (sign of ueicode), low 8 bits.
std::uint8_t codeSetLow(int ueicode);

KeyPacket keyPacket(int key, int ueitype, int ueicode);

// A packet recognised in received bytes, for the blaster's side of the link.
struct DecodedPacket {
  Opcode opcode;
  std::uint8_t codeSetHigh = 0;
  std::uint8_t codeSetLow = 0;
  std::uint8_t key = 0;
};

// Decodes a whole packet (header, count, command and what follows); nullopt if it is none.
std::optional<DecodedPacket> decodePacket(const std::vector<std::uint8_t>& bytes);

// Bytes as lowercase hexadecimal pairs separated by spaces ("bc ac 0d"), as traces show them.
std::string hexText(const std::vector<std::uint8_t>& bytes);

}  // namespace tuner::protocol
