#include "blaster/blaster_link.h"

#include <algorithm>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "blaster/open_blaster.h"
#include "recording_serial.h"
#include "temp_dir.h"

namespace tuner {
namespace {

using ::testing::ElementsAre;
using testing::readFile;
using testing::RecordingSerial;
using testing::TempDir;
using testing::writeFile;

class BlasterLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile(log.path, "");
    serial.timeouts.push_back(CommTimeouts{500, 500, 500, 500, 500});
  }
  TempDir dir;
  DiagnosticLog log{dir.file("TunerDLL.log")};
  RecordingSerial serial;
  BlasterLink link{log, serial};
};

TEST_F(BlasterLinkTest, VersionProbeExchangesAndReadsTenBytes) {
  EXPECT_EQ(ZentravoxVersion(link, 7), 1);
  EXPECT_THAT(serial.calls, ElementsAre("write 00", "sleep 100", "write bc ac 0d 00 01 08",
                                        "sleep 100", "write 00", "read 10 -> 10"));
  EXPECT_EQ(readFile(log.path),
            "ZentravoxVersion:Start\nZentravoxVersion:size[10]\nFound blaster\n"
            "ZentravoxVersion:End[1]\n");
}

TEST_F(BlasterLinkTest, VersionReplyOfNineBytesIsNoBlaster) {
  serial.versionReplyLength = 9;
  EXPECT_EQ(ZentravoxVersion(link, 7), 0);
  EXPECT_EQ(readFile(log.path),
            "ZentravoxVersion:Start\nZentravoxVersion:size[9]\nNo Blaster found\n"
            "ZentravoxVersion:End[0]\n");
}

TEST_F(BlasterLinkTest, SilentPortGivesUpWithinTheReadTimeout) {
  serial.blasterAttached = false;
  const long long before = serial.clockMs;
  EXPECT_EQ(ZentravoxVersion(link, 7), 0);
  // 200 ms of pauses, then one read of 10 bytes bounded by 500 x 10 + 500 ms.
  EXPECT_EQ(serial.clockMs - before, 200 + 5500);
  EXPECT_NE(readFile(log.path).find("ZentravoxVersion:size[0]\nNo Blaster found\n"),
            std::string::npos);
}

TEST_F(BlasterLinkTest, LongerReplyCountsAsFoundAndItsRestAcknowledgesTheFirstKey) {
  serial.versionReplyLength = 11;
  serial.acksLeft = 0;
  EXPECT_EQ(ZentravoxVersion(link, 7), 1);
  EXPECT_EQ(Emit(link, 7, 5, 1, 2), 1);
  EXPECT_TRUE(serial.input.empty());
}

TEST_F(BlasterLinkTest, KeyExchangeAndPauses) {
  EXPECT_EQ(Emit(link, 7, 10, 2, 0x1A7), 1);
  EXPECT_THAT(serial.calls,
              ElementsAre("write 00", "sleep 100", "write bc ac 0d 00 06 01 21 a7 0a 00 00",
                          "sleep 333", "write 00", "read 1 -> 1", "sleep 250"));
  EXPECT_EQ(serial.clockMs, 100 + 333 + 250);
  EXPECT_EQ(readFile(log.path), "Emit:Start\nEmit:End [1]\n");
}

TEST_F(BlasterLinkTest, KeyZeroWritesNothingAndPausesSevenHundredFiftyMs) {
  EXPECT_EQ(Emit(link, 7, 0, 2, 0x1A7), 1);
  EXPECT_TRUE(serial.writes.empty());
  EXPECT_THAT(serial.calls, ElementsAre("sleep 250", "sleep 250", "sleep 250"));
  EXPECT_EQ(serial.clockMs, 750);
}

TEST_F(BlasterLinkTest, AcknowledgementWaitIsBoundedToFiveReads) {
  serial.acksLeft = 0;
  int reads = 0;
  EXPECT_FALSE(SendKeyPacket(link, 7, 3, 0, 0));
  for (const std::string& call : serial.calls) reads += call == "read 1 -> 0";
  EXPECT_EQ(reads, 5);
}

TEST_F(BlasterLinkTest, UnacknowledgedKeyIsBoundedAndReported) {
  serial.acksLeft = 0;
  const long long before = serial.clockMs;
  EXPECT_EQ(Emit(link, 7, 3, 0, 0), 0);
  // 433 ms of exchange pauses, five reads of at most 1000 ms each, then the settle time.
  EXPECT_EQ(serial.clockMs - before, 433 + 5 * 1000 + 250);
  EXPECT_EQ(readFile(log.path), "Emit:Start\nEmit:End [0]\n");
}

TEST_F(BlasterLinkTest, AcknowledgementAfterSomeEmptyReadsCounts) {
  serial.emptyReadsFirst = 4;
  EXPECT_TRUE(SendKeyPacket(link, 7, 3, 0, 0));
  int emptyReads = 0;
  for (const std::string& call : serial.calls) emptyReads += call == "read 1 -> 0";
  EXPECT_EQ(emptyReads, 4);
  EXPECT_EQ(serial.calls.back(), "read 1 -> 1");
}

// A holder lets other programs have the port between requests. Taken back untouched, only what
// came in unasked is dropped; taken back after another program had it, it is opened and probed
// afresh.
TEST_F(BlasterLinkTest, AHeldPortIsProbedAgainAfterAnotherProgramHadIt) {
  OpenBlaster blaster(link);
  ASSERT_TRUE(blaster.open("ttyUSB0"));
  const auto probes = [&] {
    return std::count(serial.calls.begin(), serial.calls.end(), "read 10 -> 10");
  };
  blaster.release();
  serial.calls.clear();
  ASSERT_TRUE(blaster.reclaim("ttyUSB0"));
  EXPECT_THAT(serial.operations(), ElementsAre("lock", "discard-input"));
  blaster.release();
  serial.lockBusy = true;
  serial.calls.clear();
  ASSERT_TRUE(blaster.reclaim("ttyUSB0"));
  EXPECT_EQ(serial.operations().front(), "lock -> busy");
  EXPECT_EQ(serial.operations()[1], "close");
  EXPECT_EQ(probes(), 1);
  EXPECT_EQ(serial.opens, 2);
}

}  // namespace
}  // namespace tuner
