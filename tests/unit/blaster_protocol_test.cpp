#include "blaster/blaster_protocol.h"

#include <gtest/gtest.h>

#include "recording_serial.h"

namespace tuner::protocol {
namespace {

using tuner::testing::hexBytes;

std::vector<std::uint8_t> bytesOf(const KeyPacket& packet) {
  return std::vector<std::uint8_t>(packet.begin(), packet.end());
}

TEST(BlasterProtocol, VersionQueryIsSixBytes) {
  const VersionQuery query = versionQueryPacket();
  EXPECT_EQ(hexBytes({query.begin(), query.end()}), "bc ac 0d 00 01 08");
}

TEST(BlasterProtocol, KeyPacketCarriesCodeSetAndKey) {
  EXPECT_EQ(hexBytes(bytesOf(keyPacket(10, 2, 0x1A7))), "bc ac 0d 00 06 01 21 a7 0a 00 00");
  EXPECT_EQ(hexBytes(bytesOf(keyPacket(1, 0, 0))), "bc ac 0d 00 06 01 00 00 01 00 00");
  EXPECT_EQ(hexBytes(bytesOf(keyPacket(255, 15, 4095))), "bc ac 0d 00 06 01 ff ff ff 00 00");
}

TEST(BlasterProtocol, CodeSetBytesMixWithoutRangeTest) {
  // A type above 15 spills out of the high nibble; only the low eight bits are sent.
  EXPECT_EQ(codeSetHigh(16, 0), 0x00);
  EXPECT_EQ(codeSetHigh(17, 0x300), 0x13);
  EXPECT_EQ(codeSetHigh(1, 0x1000), 0x10 | 0x10);
  // Key numbers are cut to their low byte.
  EXPECT_EQ(keyPacket(256 + 7, 0, 0)[8], 7);
}

TEST(BlasterProtocol, NegativeCodesTruncateTowardZero) {
  // -1 / 256 is 0 and -1 % 256 is -1, whose low byte is ff.
  EXPECT_EQ(codeSetHigh(2, -1), 0x20);
  EXPECT_EQ(codeSetLow(-1), 0xFF);
  // -300 / 256 is -1 (all bits set); -300 % 256 is -44 (0xd4).
  EXPECT_EQ(codeSetHigh(2, -300), 0xFF);
  EXPECT_EQ(codeSetLow(-300), 0xD4);
  EXPECT_EQ(codeSetHigh(-1, 0), 0xF0);
}

TEST(BlasterProtocol, ExtremeValuesDoNotOverflow) {
  EXPECT_EQ(codeSetHigh(2147483647, 2147483647),
            static_cast<std::uint8_t>((0x7FFFFFFFll * 16) | 0x7FFFFF));
  EXPECT_EQ(codeSetLow(-2147483647 - 1), 0x00);
}

TEST(BlasterProtocol, DecodesWhatItBuilds) {
  const KeyPacket packet = keyPacket(4, 3, 0x2B5);
  const auto decoded = decodePacket(bytesOf(packet));
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(decoded->opcode, kOpKey);
  EXPECT_EQ(decoded->codeSetHigh, 0x32);
  EXPECT_EQ(decoded->codeSetLow, 0xB5);
  EXPECT_EQ(decoded->key, 4);
  const VersionQuery query = versionQueryPacket();
  EXPECT_EQ(decodePacket({query.begin(), query.end()})->opcode, kOpVersionQuery);
  EXPECT_FALSE(decodePacket({0xBC, 0xAC, 0x0D, 0x00, 0x02, 0x08}).has_value());
  EXPECT_FALSE(decodePacket({0xBC, 0xAD, 0x0D, 0x00, 0x01, 0x08}).has_value());
  EXPECT_FALSE(decodePacket({}).has_value());
}

TEST(BlasterProtocol, TheBlasterTakesFramesApartAsTheyArrive) {
  FrameReader reader;
  const auto kinds = [](const std::vector<Frame>& frames) {
    std::vector<std::string> names;
    for (const Frame& f : frames) {
      static const char* const kNames[] = {"lead", "packet", "trailer", "junk"};
      names.push_back(std::string(kNames[f.kind]) + " " + hexText(f.bytes));
    }
    return names;
  };
  // A key packet split over two writes, its trailer answered; stray bytes are junk.
  const KeyPacket key = keyPacket(4, 3, 0x2B5);
  const std::uint8_t start[] = {0x00, 0x41, key[0], key[1], key[2]};
  EXPECT_EQ(kinds(reader.take(start, sizeof start, 1)),
            (std::vector<std::string>{"lead 00", "junk 41"}));
  std::vector<std::uint8_t> rest(key.begin() + 3, key.end());
  rest.push_back(kTrailerByte);
  const std::vector<Frame> frames = reader.take(rest.data(), rest.size(), 2);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].at, 1);
  EXPECT_EQ(frames[0].bytes, bytesOf(key));
  EXPECT_EQ(frames[1].kind, Frame::kTrailer);
  ASSERT_TRUE(frames[1].packet.has_value());
  EXPECT_EQ(codeSetOf(frames[1].packet->codeSetHigh, frames[1].packet->codeSetLow).ueicode, 0x2B5);
  // A header broken off is junk; an unknown packet is not answered, so its zero is a lead.
  const std::uint8_t broken[] = {0xBC, 0xAC, 0x0E, 0xBC, 0xAC, 0x0D, 0x00, 0x01, 0x09, 0x00};
  EXPECT_EQ(kinds(reader.take(broken, sizeof broken, 3)),
            (std::vector<std::string>{"junk bc ac 0e", "packet bc ac 0d 00 01 09", "lead 00"}));
  EXPECT_EQ(versionReply(12).size(), 12u);
  EXPECT_EQ(codeSetOf(codeSetHigh(15, 4095), codeSetLow(4095)).ueitype, 15);
}

}  // namespace
}  // namespace tuner::protocol
