#include "tuner/channel_map.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "recording_serial.h"
#include "temp_dir.h"
#include "tuner/control_result.h"
#include "tuner/key_commands.h"

namespace tuner {
namespace {

using ::testing::ElementsAre;
using testing::readFile;
using testing::RecordingSerial;
using testing::TempDir;
using testing::writeFile;

class ChannelMapTest : public ::testing::Test {
 protected:
  void SetUp() override { writeFile(configPath, "Living.=COM2&2,423.\nDen.=COM3&1,1.\n"); }

  struct Run {
    ControlResult result;
    std::string trace;
    RecordingSerial serial;
  };
  // One channel change on a fresh blaster, by number or as text.
  Run tune(int channel, const char* text = nullptr) {
    Run run;
    const std::string log = dir.file("run.log");
    writeFile(log, "");
    const ControlEnvironment env{DiagnosticLog{log}, configPath, run.serial, recipes, channels};
    run.result = text != nullptr ? MacroTuneChannel(env, text, "Living.")
                                 : MacroTune(env, channel, "Living.");
    run.trace = readFile(log);
    return run;
  }

  TempDir dir;
  std::string configPath = dir.file("tuner.txt");
  std::string recipes = dir.file("tuning.txt");
  std::string channels = dir.file("channels.txt");
};

TEST_F(ChannelMapTest, AChannelWithALineIsSentAsItsBoxChannelAndANameStandsForIt) {
  writeFile(channels,
            "# TUNER=CHANNEL [as BOX_CHANNEL] [NAME...]\nLiving.=101 as 1501 BBC One HD\n"
            "Living.=4.1 PBS Kids\nLiving.=7 as 107\nDen.=101 as 9\n");
  Run run = tune(101);
  EXPECT_THAT(run.serial.keysSent(), ElementsAre(1, 5, 10, 1));
  EXPECT_NE(run.trace.find("MacroTune:Channel [101] as [1501]\n"), std::string::npos);
  EXPECT_EQ(resultSentence(run.result), "channel 101 as 1501 sent to tuner \"Living.\" on COM2");
  run = tune(0, "bbc  one HD");
  EXPECT_THAT(run.serial.keysSent(), ElementsAre(1, 5, 10, 1));
  EXPECT_NE(run.trace.find("MacroTune:Channel [BBC One HD] as [1501]\n"), std::string::npos);
  run = tune(0, "PBS Kids");  // a sub-channel, and no dot key: nothing is sent
  EXPECT_EQ(run.result.code, TUNER_NO_DOT_KEY);
  EXPECT_TRUE(run.serial.calls.empty());
  run = tune(0, "ITV");
  EXPECT_EQ(run.result.code, TUNER_INVALID_CHANNEL);
  EXPECT_THAT(tune(7).serial.keysSent(), ElementsAre(1, 10, 7));
  const auto listed = channelsOf(channels, "living.", true);
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(listed[0].name, "BBC One HD");
  EXPECT_TRUE(channelsOf(channels, "living.").empty());
}

// Without the file, or for a channel without a line, the call is what it always was: the same
// trace and the same calls on the port, byte for byte and pause for pause.
TEST_F(ChannelMapTest, AChannelWithoutALineGoesExactlyAsBefore) {
  const Run without = tune(42);
  writeFile(channels, "Living.=43 as 1 Other\nDen.=42 as 7\nbroken line\n");
  const Run with = tune(42);
  EXPECT_EQ(with.trace, without.trace);
  EXPECT_EQ(with.serial.calls, without.serial.calls);
  EXPECT_EQ(with.serial.sleeps, without.serial.sleeps);
  EXPECT_EQ(resultSentence(with.result), resultSentence(without.result));
}

// A box that takes a digit once when it comes twice too soon: the repeat waits before it.
TEST_F(ChannelMapTest, ARepeatedDigitWaitsTheRepeatFirst) {
  writeFile(recipes, "Living.=repeat 600\n");
  const Run run = tune(112);
  EXPECT_THAT(run.serial.keysSent(), ElementsAre(1, 1, 2));
  std::vector<long long> at;
  for (const auto& write : run.serial.writes) {
    if (write.bytes.size() == 11) at.push_back(write.atMs);
  }
  ASSERT_EQ(at.size(), 3u);
  EXPECT_GE(at[1] - at[0], 100 + 333 + 250 + 600);
  EXPECT_LT(at[2] - at[1], 100 + 333 + 250 + 600);
  EXPECT_NE(run.trace.find("MacroTune:Repeat [600]\n"), std::string::npos);
  // Padding zeros are digits too; a channel of no repeated digit waits nothing more.
  const auto waits = [&](int channel) {
    const std::vector<unsigned> sleeps = tune(channel).serial.sleeps;
    return std::count(sleeps.begin(), sleeps.end(), 600u);
  };
  EXPECT_EQ(waits(7), 1);
  EXPECT_EQ(waits(42), 0);
}

}  // namespace
}  // namespace tuner
