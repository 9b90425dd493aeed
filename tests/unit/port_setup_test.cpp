#include "blaster/port_setup.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "recording_serial.h"
#include "temp_dir.h"

namespace tuner {
namespace {

using ::testing::ElementsAre;
using testing::readFile;
using testing::RecordingSerial;
using testing::TempDir;
using testing::writeFile;

class PortSetupTest : public ::testing::Test {
 protected:
  void SetUp() override { writeFile(log.path, ""); }
  int detect() { return detectComPortHandle(link, "COM3", hndl); }
  TempDir dir;
  DiagnosticLog log{dir.file("TunerDLL.log")};
  RecordingSerial serial;
  BlasterLink link{log, serial};
  PortHandle hndl = kInvalidPort;
};

TEST_F(PortSetupTest, SuccessfulSetUpOrderAndLog) {
  EXPECT_EQ(detect(), 1);
  EXPECT_NE(hndl, kInvalidPort);
  EXPECT_THAT(serial.operations(),
              ElementsAre("open COM3",
                          "configure COM3 19200 8N1 dtr-low rts-low timeouts 500 500 500 500 500",
                          "discard-input", "write 00", "write bc ac 0d 00 01 08", "write 00",
                          "read 10 -> 10"));
  EXPECT_EQ(serial.closes, 0);
  EXPECT_EQ(readFile(log.path),
            "detectComPortHandle:Start\ngetComPort:Start[COM3]\ngetComPort:End\n"
            "ZentravoxVersion:Start\nZentravoxVersion:size[10]\nFound blaster\n"
            "ZentravoxVersion:End[1]\ndetectComPortHandle:End [1]\n");
}

TEST_F(PortSetupTest, MissingPortTouchesNothingElse) {
  serial.openFails = true;
  EXPECT_EQ(detect(), 0);
  EXPECT_THAT(serial.calls, ElementsAre("open COM3"));
  EXPECT_EQ(readFile(log.path),
            "detectComPortHandle:Start\ngetComPort:Start[COM3]\ngetComPort:End\n"
            "detectComPortHandle:Err:Invalid ComStr\ndetectComPortHandle:End [0]\n");
}

TEST_F(PortSetupTest, PortHeldByAnotherCallIsWaitedForWithinTheBound) {
  serial.busyOpens = 3;
  EXPECT_EQ(detect(), 1);
  EXPECT_EQ(serial.clockMs - (100 + 100), 3 * 50);
  EXPECT_EQ(serial.closes, 0);
  const std::string trace = readFile(log.path);
  EXPECT_NE(trace.find("getComPort:Start[COM3]\ngetComPort:Waiting for [COM3], held by another "
                       "call\ngetComPort:End\n"),
            std::string::npos);

  // Held past the bound: the call gives up after 10 s, as a port that does not open.
  RecordingSerial held;
  held.busyOpens = 1000000;
  const BlasterLink heldLink{log, held};
  EXPECT_EQ(detectComPortHandle(heldLink, "COM3", hndl), 0);
  EXPECT_EQ(held.clockMs, 10000);
  EXPECT_EQ(held.calls.size(), 1u + 10000 / 50 + 10000 / 50);  // opens and the sleeps between
  EXPECT_NE(readFile(log.path).find("getComPort:Err:Still held after 10000 ms [COM3]\n"
                                    "getComPort:End\ndetectComPortHandle:Err:Invalid ComStr\n"),
            std::string::npos);

  // A port that does not exist is not waited for.
  RecordingSerial missing;
  missing.openFails = true;
  const BlasterLink missingLink{log, missing};
  EXPECT_EQ(detectComPortHandle(missingLink, "COM3", hndl), 0);
  EXPECT_EQ(missing.clockMs, 0);
}

struct SetUpFailure {
  const char* name;
  void (*arrange)(RecordingSerial&);
  const char* lastOperation;
  const char* message;  // logged after the close; empty for none
};

// Names the case in test listings.
void PrintTo(const SetUpFailure& failure, std::ostream* out) { *out << failure.name; }

class PortSetupFailureTest : public PortSetupTest,
                             public ::testing::WithParamInterface<SetUpFailure> {};

TEST_P(PortSetupFailureTest, ClosesThePortExactlyOnceAndReportsZero) {
  GetParam().arrange(serial);
  EXPECT_EQ(detect(), 0);
  EXPECT_EQ(serial.opens, 1);
  EXPECT_EQ(serial.closes, 1);
  const std::vector<std::string> ops = serial.operations();
  ASSERT_GE(ops.size(), 2u);
  EXPECT_EQ(ops[ops.size() - 2], GetParam().lastOperation);
  EXPECT_EQ(ops.back(), "close");
  const std::string expectedTail =
      std::string(GetParam().message) + "detectComPortHandle:End [0]\n";
  const std::string content = readFile(log.path);
  ASSERT_GE(content.size(), expectedTail.size());
  EXPECT_EQ(content.substr(content.size() - expectedTail.size()), expectedTail);
}

constexpr char kConfigured[] =
    "configure COM3 19200 8N1 dtr-low rts-low timeouts 500 500 500 500 500";

INSTANTIATE_TEST_SUITE_P(
    EveryStep, PortSetupFailureTest,
    ::testing::Values(
        SetUpFailure{"RefusedWithATraceLine",
                     [](RecordingSerial& s) {
                       s.configureFails = true;
                       s.configureFailure = "detectComPortHandle:Err:Failed to get SetCommState\n";
                     },
                     kConfigured, "detectComPortHandle:Err:Failed to get SetCommState\n"},
        SetUpFailure{"RefusedSilently", [](RecordingSerial& s) { s.configureFails = true; },
                     kConfigured, ""},
        SetUpFailure{"NoBlaster", [](RecordingSerial& s) { s.blasterAttached = false; },
                     "read 10 -> 0", "ZentravoxVersion:End[0]\n"}),
    [](const ::testing::TestParamInfo<SetUpFailure>& info) { return info.param.name; });

TEST_F(PortSetupTest, PortOpensAgainRightAfterAFailedProbe) {
  serial.blasterAttached = false;
  EXPECT_EQ(detect(), 0);
  serial.blasterAttached = true;
  EXPECT_EQ(detect(), 1);
  EXPECT_EQ(serial.opens, 2);
  EXPECT_EQ(serial.closes, 1);
}

}  // namespace
}  // namespace tuner
