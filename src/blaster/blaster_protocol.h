// The packets exchanged with the blaster, as pure functions of their fields: what the plug-in
// sends, and how a blaster takes frames apart and answers them.
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

// The keys the wire can name in its one byte; key number 0 sends nothing.
constexpr int kMinKey = 1;
constexpr int kMaxKey = 255;

// The code sets the wire can name: a type in 4 bits and a code in 12.
constexpr int kMaxUeiType = 15;
constexpr int kMaxUeiCode = 4095;

// A code set as people write it, "TYPE,CODE", each within what the wire can name.
bool parseCodeSet(const std::string& text, int& ueitype, int& ueicode);

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

// The blaster's answers: the one-byte acknowledgement of a key, and a version reply of length
// bytes (ten make a good one).
constexpr std::uint8_t kAckByte = 0x06;
std::vector<std::uint8_t> versionReply(std::size_t length);

// The code set the two code-set bytes of a key packet name.
struct CodeSet {
  int ueitype = 0;
  int ueicode = 0;
};
CodeSet codeSetOf(std::uint8_t high, std::uint8_t low);

// What a blaster makes of the bytes it receives, frame by frame.
struct Frame {
  enum Kind { kLead, kPacket, kTrailer, kJunk } kind = kJunk;
  double at = 0;  // when its first byte arrived, on the caller's clock
  std::vector<std::uint8_t> bytes;
  // kPacket: what it is (none: a packet of no known kind); kTrailer: the packet it ends, which
  // the blaster answers.
  std::optional<DecodedPacket> packet;
};

// The blaster's side of the framing: a zero byte is a lead, or the trailer after a known packet;
// a packet runs from the first header byte for as many bytes as its count says; anything else
// is junk.
class FrameReader {
 public:
  // Takes bytes that arrived together at `at`; returns the frames they complete, in order.
  std::vector<Frame> take(const std::uint8_t* data, std::size_t count, double at);

 private:
  void takeByte(std::uint8_t byte, double at, std::vector<Frame>& frames);
  void flushJunk(std::vector<Frame>& frames);

  Frame packet_{Frame::kPacket, 0, {}, std::nullopt};
  Frame junk_;
  std::optional<DecodedPacket> awaitingTrailer_;
};

// Bytes as lowercase hexadecimal pairs separated by spaces ("bc ac 0d"), as traces show them.
std::string hexText(const std::vector<std::uint8_t>& bytes);

}  // namespace tuner::protocol
