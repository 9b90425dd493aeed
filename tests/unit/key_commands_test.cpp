#include "tuner/key_commands.h"

#include <algorithm>
#include <climits>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "recording_serial.h"
#include "temp_dir.h"
#include "tuner/tuner_request.h"

namespace tuner {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using testing::readFile;
using testing::RecordingSerial;
using testing::TempDir;
using testing::writeFile;

class KeyCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile(env.log.path, "");
    writeFile(env.configPath, "Tuner1=COM2&2,423.\nOther=COM3&1,1.\n");
  }

  void play(const char* command) {
    char name[] = "Tuner1";
    const Remote remote{name, 0, 0, nullptr, nullptr};
    PlayCommand(env, &remote, command);
  }

  std::vector<std::string> traceLines() const {
    std::vector<std::string> lines;
    std::istringstream in(readFile(env.log.path));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  TempDir dir;
  RecordingSerial serial;
  ControlEnvironment env{DiagnosticLog{dir.file("TunerDLL.log")}, dir.file("tuner.txt"), serial,
                         dir.file("tuning.txt")};
};

TEST(KeyNumbers, CommandNames) {
  EXPECT_EQ(keyNumberForCommand("0"), 10);
  EXPECT_EQ(keyNumberForCommand("7"), 7);
  EXPECT_EQ(keyNumberForCommand("12"), 1);
  EXPECT_EQ(keyNumberForCommand(" 25"), 25);
  EXPECT_EQ(keyNumberForCommand("Power"), 0);
  EXPECT_EQ(keyNumberForCommand(""), 0);
  EXPECT_EQ(keyNumberForCommand("-3"), -3);
}

TEST(KeyNumbers, ChannelsArePaddedToThreeDigits) {
  EXPECT_THAT(channelKeys(5), ElementsAre(10, 10, 5));
  EXPECT_THAT(channelKeys(42), ElementsAre(10, 4, 2));
  EXPECT_THAT(channelKeys(99), ElementsAre(10, 9, 9));
  EXPECT_THAT(channelKeys(100), ElementsAre(1, 10, 10));
  EXPECT_THAT(channelKeys(1234), ElementsAre(1, 2, 3, 4));
  EXPECT_THAT(channelKeys(INT_MAX), ElementsAre(2, 1, 4, 7, 4, 8, 3, 6, 4, 7));
}

TEST_F(KeyCommandsTest, PlayCommandWritesTheWholeTraceInOrder) {
  play("7");
  EXPECT_THAT(
      traceLines(),
      ElementsAre("PlayCommand:Start name[7]", "PlayCommand:Remotename[Tuner1]",
                  "ReadCfgFile:Start", "ReadCfgFile:Searching for tuner [Tuner1]",
                  "Read [COM2] port for tuner [Tuner1]", "Tuner found  ueitype[2] ueicode[423]",
                  "ReadCfgFile:End [1]",
                  "PlayCommand:Tuner[Tuner1] comPort[COM2] ueitype[2] ueicode[423]",
                  "detectComPortHandle:Start", "getComPort:Start[COM2]", "getComPort:End",
                  "ZentravoxVersion:Start", "ZentravoxVersion:size[10]", "Found blaster",
                  "ZentravoxVersion:End[1]", "detectComPortHandle:End [1]",
                  "PlayCommand:Emitting [7]", "Emit:Start", "Emit:End [1]", "PlayCommand:End"));
  EXPECT_THAT(serial.keysSent(), ElementsAre(7));
  EXPECT_EQ(serial.writes[4].bytes, (std::vector<std::uint8_t>{0xBC, 0xAC, 0x0D, 0x00, 0x06, 0x01,
                                                               0x21, 0xA7, 0x07, 0x00, 0x00}));
  EXPECT_EQ(serial.closes, 1);
}

TEST_F(KeyCommandsTest, PlayCommandKeyNumbers) {
  for (const auto& [command, key] : std::vector<std::pair<const char*, int>>{
           {"0", 10}, {"7", 7}, {"12", 1}, {"95", 9}, {" 25", 25}}) {
    RecordingSerial fresh;
    ControlEnvironment local{env.log, env.configPath, fresh, env.recipePath};
    char name[] = "Tuner1";
    const Remote remote{name, 0, 0, nullptr, nullptr};
    PlayCommand(local, &remote, command);
    EXPECT_THAT(fresh.keysSent(), ElementsAre(key)) << command;
  }
}

TEST_F(KeyCommandsTest, LetterCommandSendsNothingButStillEnds) {
  play("Power");
  // The probe's packet is the only one written.
  EXPECT_EQ(serial.writes.size(), 3u);
  EXPECT_TRUE(serial.keysSent().empty());
  EXPECT_EQ(traceLines().back(), "PlayCommand:End");
  EXPECT_EQ(serial.closes, 1);
}

TEST_F(KeyCommandsTest, PlayCommandForUnknownTunerTouchesNoPort) {
  char name[] = "Nobody";
  const Remote remote{name, 0, 0, nullptr, nullptr};
  PlayCommand(env, &remote, "1");
  EXPECT_TRUE(serial.calls.empty());
  EXPECT_EQ(traceLines().back(), "PlayCommand:Err:ReadCfg Failes");
}

TEST_F(KeyCommandsTest, PlayCommandWithoutBlasterReportsPortNotOpened) {
  serial.blasterAttached = false;
  play("1");
  EXPECT_EQ(traceLines().back(), "PlayCommand:Err:Com port not opened");
  EXPECT_EQ(serial.closes, 1);
  EXPECT_TRUE(serial.keysSent().empty());
}

TEST_F(KeyCommandsTest, NullArgumentsAreRefused) {
  char noName[] = "x";
  Remote nameless{noName, 0, 0, nullptr, nullptr};
  nameless.name = nullptr;
  PlayCommand(env, nullptr, "1");
  PlayCommand(env, &nameless, "1");
  play(nullptr);
  EXPECT_TRUE(serial.calls.empty());
  EXPECT_THAT(traceLines(),
              ElementsAre("PlayCommand:Start name[1]", "PlayCommand:Err:Remote or its name is null",
                          "PlayCommand:Start name[1]", "PlayCommand:Err:Remote or its name is null",
                          "PlayCommand:Start name[]", "PlayCommand:Remotename[Tuner1]",
                          "PlayCommand:Err:Command name is null"));
}

TEST_F(KeyCommandsTest, UnacknowledgedKeyIsReportedAndThePortClosed) {
  serial.acksLeft = 0;
  play("3");
  EXPECT_EQ(traceLines().back(), "PlayCommand:Err:Key not acknowledged [3]");
  EXPECT_EQ(serial.closes, 1);
}

TEST_F(KeyCommandsTest, MacroTuneSendsPaddedDigitsAndLogsEachKey) {
  MacroTune(env, 42, "Tuner1");
  EXPECT_THAT(serial.keysSent(), ElementsAre(10, 4, 2));
  const std::vector<std::string> lines = traceLines();
  EXPECT_EQ(lines.front(), "MacroTune:Start: Channel [42] loadedDevName [Tuner1]");
  EXPECT_EQ(lines.back(), "MacroTune:End");
  std::vector<std::string> emitting;
  for (const std::string& line : lines) {
    if (line.rfind("MacroTune:Emitting", 0) == 0) emitting.push_back(line);
  }
  EXPECT_THAT(emitting, ElementsAre("MacroTune:Emitting hdr [0]", "MacroTune:Emitting [4]",
                                    "MacroTune:Emitting [2]"));
  EXPECT_EQ(serial.opens, 1);
  EXPECT_EQ(serial.closes, 1);
  EXPECT_EQ(serial.calls.back(), "close");
}

TEST_F(KeyCommandsTest, MacroTuneTakesTheProtocolTime) {
  MacroTune(env, 42, "Tuner1");
  // Probe 100 + 100, three keys of 100 + 333 + 250.
  EXPECT_EQ(serial.clockMs, 2249);
}

TEST_F(KeyCommandsTest, MacroTuneChannels) {
  const std::vector<std::pair<int, std::vector<int>>> cases = {
      {5, {10, 10, 5}},   {42, {10, 4, 2}},     {99, {10, 9, 9}},
      {100, {1, 10, 10}}, {1234, {1, 2, 3, 4}}, {INT_MAX, {2, 1, 4, 7, 4, 8, 3, 6, 4, 7}}};
  for (const auto& [channel, keys] : cases) {
    RecordingSerial fresh;
    MacroTune(ControlEnvironment{env.log, env.configPath, fresh, env.recipePath}, channel,
              "Tuner1");
    EXPECT_THAT(fresh.keysSent(), ElementsAreArray(keys)) << channel;
  }
}

TEST_F(KeyCommandsTest, MacroTuneRefusesChannelsBelowOne) {
  MacroTune(env, 0, "Tuner1");
  MacroTune(env, -5, "Tuner1");
  EXPECT_TRUE(serial.calls.empty());
  EXPECT_THAT(traceLines(), ElementsAre("MacroTune:Start: Channel [0] loadedDevName [Tuner1]",
                                        "MacroTune:Err:Invalid channel [0]",
                                        "MacroTune:Start: Channel [-5] loadedDevName [Tuner1]",
                                        "MacroTune:Err:Invalid channel [-5]"));
}

TEST_F(KeyCommandsTest, BlasterThatStopsAcknowledgingMidChannel) {
  serial.acksLeft = 2;
  MacroTune(env, 1234, "Tuner1");
  // The third key goes unanswered; the fourth is never sent.
  EXPECT_THAT(serial.keysSent(), ElementsAre(1, 2, 3));
  EXPECT_EQ(serial.closes, 1);
  EXPECT_EQ(traceLines().back(), "MacroTune:Err:Key not acknowledged, channel not sent");
}

TEST_F(KeyCommandsTest, UnacknowledgedLeadingZeroStopsTheChannel) {
  serial.acksLeft = 0;
  MacroTune(env, 5, "Tuner1");
  EXPECT_THAT(serial.keysSent(), ElementsAre(10));
  EXPECT_EQ(traceLines().back(), "MacroTune:Err:Key not acknowledged, channel not sent");
}

TEST_F(KeyCommandsTest, SetUpFailureClosesThePortOnceForBothCalls) {
  for (const bool macro : {false, true}) {
    RecordingSerial fresh;
    fresh.configureFails = true;
    const ControlEnvironment local{env.log, env.configPath, fresh, env.recipePath};
    char name[] = "Tuner1";
    const Remote remote{name, 0, 0, nullptr, nullptr};
    if (macro) {
      MacroTune(local, 42, "Tuner1");
    } else {
      PlayCommand(local, &remote, "1");
    }
    EXPECT_EQ(fresh.opens, 1) << macro;
    EXPECT_EQ(fresh.closes, 1) << macro;
    EXPECT_TRUE(fresh.keysSent().empty()) << macro;
  }
}

TEST_F(KeyCommandsTest, MacroTuneWithEmptyNameLooksUpTheEmptyName) {
  MacroTune(env, 7, "");
  EXPECT_TRUE(serial.calls.empty());
  const std::vector<std::string> lines = traceLines();
  EXPECT_EQ(lines[2], "ReadCfgFile:Searching for tuner []");
  EXPECT_EQ(lines.back(), "MacroTune:Err:ReadCfg Failes");
}

TEST_F(KeyCommandsTest, MacroTuneWithoutBlaster) {
  serial.openFails = true;
  MacroTune(env, 7, "Other");
  EXPECT_EQ(traceLines().back(), "MacroTune:Err:Com port not opened");
  EXPECT_EQ(serial.openedName, "");
  EXPECT_EQ(serial.calls.front(), "open COM3");
}

// A number the packet's one byte cannot carry is no key: nothing is opened or sent.
TEST_F(KeyCommandsTest, AKeyNumberOutsideTheBlastersKeysSendsNothing) {
  char name[] = "Tuner1";
  const Remote remote{name, 0, 0, nullptr, nullptr};
  for (const char* command : {" 256", " -1", " 1000"}) {
    const ControlResult result = PlayCommand(env, &remote, command);
    EXPECT_EQ(result.code, TUNER_KEY_OUT_OF_RANGE) << command;
    EXPECT_NE(resultSentence(result).find("keys are 1 to 255"), std::string::npos);
  }
  EXPECT_TRUE(serial.calls.empty());
  EXPECT_EQ(traceLines().back(), "PlayCommand:Err:Key out of range [1000]");
  EXPECT_EQ(PlayCommand(env, &remote, " 255").code, TUNER_DONE);
  EXPECT_THAT(serial.keysSent(), ElementsAre(255));
}

// A service's request is held to its bound whole, before any port is touched; its name may be
// of any case, found in one walk of the tuner file and named as the file spells it.
TEST_F(KeyCommandsTest, TheOneRoadBoundsARequestAndFindsANameOfAnyCase) {
  TunerRequest request;
  request.caller = "tunerd";
  request.tuner = "tuner1";
  request.anyCase = true;
  request.keys = std::vector<int>(11, 1);
  request.maxPresses = 10;
  OpenForTheCall source(env);
  ControlResult result = runRequest(env, request, source, startResult(env, "key", "tuner1"));
  EXPECT_EQ(result.code, TUNER_TOO_MANY_KEYS);
  EXPECT_EQ(resultSentence(result).substr(0, 48),
            "one request presses at most 10 keys and this one");
  EXPECT_TRUE(serial.calls.empty());
  request.keys.resize(10);
  RequestDetails found;
  result = runRequest(env, request, source, startResult(env, "key", "tuner1"), &found);
  EXPECT_EQ(result.code, TUNER_DONE);
  EXPECT_EQ(found.spelled, "Tuner1");
  EXPECT_STREQ(result.tuner, "Tuner1");
  EXPECT_EQ(serial.keysSent().size(), 10u);
  const auto lines = traceLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "ReadCfgFile:Start"), 1);
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "tunerd:Tuner[Tuner1] comPort[COM2] ueitype[2] ueicode[423]"),
            lines.end());
  request.anyCase = false;
  EXPECT_EQ(runRequest(env, request, source, startResult(env, "key", "tuner1")).code,
            TUNER_NO_TUNER_LINE);
}

}  // namespace
}  // namespace tuner
