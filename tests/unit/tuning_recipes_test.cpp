#include "tuner/tuning_recipes.h"

#include <algorithm>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "recording_serial.h"
#include "temp_dir.h"
#include "tuner/key_commands.h"

namespace tuner {
namespace {

using ::testing::ElementsAre;
using testing::readFile;
using testing::RecordingSerial;
using testing::TempDir;
using testing::writeFile;

class TuningRecipesTest : public ::testing::Test {
 protected:
  void SetUp() override { writeFile(configPath, "Tuner1=COM2&2,423.\nOther=COM3&1,1.\n"); }

  // One channel change on a fresh blaster: its serial calls and its trace.
  std::pair<std::vector<std::string>, std::string> tune(int channel, const std::string& recipes,
                                                        const RecipeSettings& settings = {}) {
    RecordingSerial serial;
    const std::string log = dir.file("run.log");
    writeFile(log, "");
    MacroTune(ControlEnvironment{DiagnosticLog{log}, configPath, serial, recipes}, channel,
              "Tuner1", settings);
    last = serial;
    return {serial.calls, readFile(log)};
  }

  TempDir dir;
  std::string configPath = dir.file("tuner.txt");
  std::string recipes = dir.file("tuning.txt");
  RecordingSerial last;
};

TEST_F(TuningRecipesTest, EverySettingOnTheWireInOrderWithItsPause) {
  writeFile(recipes,
            "\xEF\xBB\xBF# the cable box\r\nTuner1=digits 4, before 12 enter 11 pause 300\r\n");
  const std::string trace = tune(42, recipes).second;
  EXPECT_THAT(last.keysSent(), ElementsAre(12, 10, 10, 4, 2, 11));
  // Each key's own 100 + 333 + 250 ms, and then the recipe's 300.
  // The probe's two sleeps come first.
  ASSERT_GE(last.sleeps.size(), 2u);
  const std::vector<unsigned> sleeps(last.sleeps.begin() + 2, last.sleeps.end());
  EXPECT_EQ(sleeps,
            (std::vector<unsigned>{100, 333, 250, 300, 100, 333, 250, 300, 100, 333, 250, 300,
                                   100, 333, 250, 300, 100, 333, 250, 300, 100, 333, 250, 300}));
  for (const char* line :
       {"ReadRecipe:Tuner [Tuner1] line 2: digits 4 before 12 enter 11 pause 300\n",
        "MacroTune:Emitting before [12]\n", "MacroTune:Emitting enter [11]\n",
        "MacroTune:Pause [300]\n", "MacroTune:End\n"}) {
    EXPECT_NE(trace.find(line), std::string::npos) << line;
  }
  // The settings a caller gives win over the file's, a pause of 0 among them.
  tune(42, recipes, RecipeSettings{2, kNotGiven, kNotGiven, 0});
  EXPECT_THAT(last.keysSent(), ElementsAre(12, 4, 2, 11));
  EXPECT_EQ(std::count(last.sleeps.begin(), last.sleeps.end(), 300u), 0);
}

// A box that sleeps, sub-channels and a second sending: the keys in order, the wait after the
// keys before, the dot between the parts, and the pause before the channel goes again.
TEST_F(TuningRecipesTest, WaitDotAndAgainOnTheWire) {
  writeFile(recipes, "Tuner1=before 1 before 12 wait 2000 dot 13 enter 11 again 3000\n");
  RecordingSerial serial;
  const std::string log = dir.file("sub.log");
  writeFile(log, "");
  const ControlEnvironment env{DiagnosticLog{log}, configPath, serial, recipes};
  const ControlResult sent = MacroTuneChannel(env, "4.1", "Tuner1");
  EXPECT_EQ(sent.code, TUNER_DONE);
  EXPECT_EQ(resultSentence(sent), "channel 4.1 sent to tuner \"Tuner1\" on COM2");
  EXPECT_THAT(serial.keysSent(), ElementsAre(1, 12, 4, 13, 1, 11, 4, 13, 1, 11));
  std::vector<unsigned> sleeps = serial.sleeps;
  sleeps.erase(sleeps.begin(), sleeps.begin() + 2);  // the probe's
  const std::vector<unsigned> key = {100, 333, 250};
  std::vector<unsigned> expected;
  for (int i = 0; i < 2; ++i) expected.insert(expected.end(), key.begin(), key.end());
  expected.push_back(2000);
  for (int i = 0; i < 4; ++i) expected.insert(expected.end(), key.begin(), key.end());
  expected.push_back(3000);
  for (int i = 0; i < 4; ++i) expected.insert(expected.end(), key.begin(), key.end());
  EXPECT_EQ(sleeps, expected);
  const std::string trace = readFile(log);
  for (const char* line : {"MacroTune:Start: Channel [4.1] loadedDevName [Tuner1]\n",
                           "ReadRecipe:Tuner [Tuner1] line 1: digits 3 before 1 before 12 wait "
                           "2000 dot 13 enter 11 again 3000\n",
                           "MacroTune:Wait [2000]\n", "MacroTune:Emitting dot [13]\n",
                           "MacroTune:Again [3000]\n", "MacroTune:End\n"}) {
    EXPECT_NE(trace.find(line), std::string::npos) << line;
  }
  // A whole channel goes as MacroTune sends it; a major is padded only where digits is set;
  // the minor part goes as written.
  writeFile(recipes, "Tuner1=dot 13\n");
  serial.writes.clear();
  EXPECT_EQ(MacroTuneChannel(env, "42", "Tuner1").code, TUNER_DONE);
  EXPECT_THAT(serial.keysSent(), ElementsAre(10, 4, 2));
  serial.writes.clear();
  MacroTuneChannel(env, "7-01", "Tuner1");
  EXPECT_THAT(serial.keysSent(), ElementsAre(7, 13, 10, 1));
  serial.writes.clear();
  writeFile(recipes, "Tuner1=digits 3 dot 13\n");
  MacroTuneChannel(env, "4.1", "Tuner1");
  EXPECT_THAT(serial.keysSent(), ElementsAre(10, 10, 4, 13, 1));
}

TEST_F(TuningRecipesTest, ASubChannelWithoutADotKeySendsNothing) {
  writeFile(recipes, "Tuner1=digits 4\n");
  RecordingSerial serial;
  const ControlEnvironment env{DiagnosticLog{""}, configPath, serial, recipes};
  const ControlResult refused = MacroTuneChannel(env, "4.1", "Tuner1");
  EXPECT_EQ(refused.code, TUNER_NO_DOT_KEY);
  EXPECT_EQ(resultSentence(refused),
            "sub-channel 4.1 was not sent: tuner \"Tuner1\" has no dot key; give its line in "
            "tuning.txt \"dot KEY\", the key its box takes between the two parts");
  EXPECT_TRUE(serial.calls.empty());
  for (const char* wrong : {"4.", "4..1", "0.1", "x", ""}) {
    EXPECT_EQ(MacroTuneChannel(env, wrong, "Tuner1").code, TUNER_INVALID_CHANNEL) << wrong;
  }
  EXPECT_TRUE(serial.calls.empty());
}

// The second sending is a courtesy: a blaster that stops acknowledging in it leaves the first
// standing, and the trace says so.
TEST_F(TuningRecipesTest, ASecondSendingThatFailsLeavesTheFirstStanding) {
  writeFile(recipes, "Tuner1=enter 11 again 500\n");
  RecordingSerial serial;
  serial.acksLeft = 5;
  const std::string log = dir.file("again.log");
  writeFile(log, "");
  const ControlEnvironment env{DiagnosticLog{log}, configPath, serial, recipes};
  const ControlResult sent = MacroTune(env, 42, "Tuner1");
  EXPECT_EQ(sent.code, TUNER_DONE);
  EXPECT_THAT(serial.keysSent(), ElementsAre(10, 4, 2, 11, 10, 4));
  EXPECT_NE(readFile(log).find("MacroTune:Err:Key not acknowledged [4] in the second sending, "
                               "the first stands\n"),
            std::string::npos);
}

TEST_F(TuningRecipesTest, TheFirstUsableLineOfATunerWins) {
  writeFile(recipes, "Tuner1=digits 9\nTuner1=digits 4 enter 11\nTuner1=digits 5\n");
  tune(42, recipes);
  EXPECT_THAT(last.keysSent(), ElementsAre(10, 10, 4, 2, 11));
}

TEST_F(TuningRecipesTest, NoUsableLineForTheTunerTunesExactlyAsWithout) {
  const auto before = tune(42, "");
  for (const std::string& content :
       {std::string(), std::string("Other=digits 5 enter 11\nrubbish\nTuner1x=digits 1\n")}) {
    writeFile(recipes, content);
    EXPECT_EQ(tune(42, recipes), before) << content;
  }
  EXPECT_EQ(tune(42, dir.file("absent.txt")), before);
  // A line for the tuner that cannot be used: skipped with its reason, the keys as ever.
  writeFile(recipes, "Tuner1=digits 9\nTuner1=enter 0\n");
  const std::string trace = tune(42, recipes).second;
  EXPECT_EQ(last.calls, before.first);
  EXPECT_NE(trace.find("ReadRecipe:Err: line 1 for tuner [Tuner1]: digits 9 is out of range (1 "
                       "to 8), line skipped\n"),
            std::string::npos);
  EXPECT_NE(trace.find("ReadRecipe:Err: line 2 for tuner [Tuner1]: enter 0 is out of range (1 "
                       "to 255), line skipped\n"),
            std::string::npos);
}

TEST_F(TuningRecipesTest, TheFileIsReadAfreshForEachCall) {
  writeFile(recipes, "Tuner1=digits 1\n");
  tune(5, recipes);
  EXPECT_THAT(last.keysSent(), ElementsAre(5));
  writeFile(recipes, "Tuner1=digits 5\n");
  tune(5, recipes);
  EXPECT_THAT(last.keysSent(), ElementsAre(10, 10, 10, 10, 5));
}

TEST(RecipeLines, EachProblemIsNamed) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"A=digits 0", "digits 0 is out of range (1 to 8)"},
      {"A=pause 2001", "pause 2001 is out of range (0 to 2000)"},
      {"A=before 256", "before 256 is out of range (1 to 255)"},
      {"A=enter", "enter needs a number"},
      {"A=enter OK", "enter needs a number, not \"OK\""},
      {"A=speed 3",
       "unknown setting \"speed\" (digits, before, wait, dot, enter, pause, again or repeat)"},
      {"A=pause 1 PAUSE 2", "pause is given twice"},
      {"A=before 1 before 2 before 3 before 4", "before is given more than 3 times"},
      {"A=wait 10001", "wait 10001 is out of range (0 to 10000)"},
      {"A=again 499", "again 499 is out of range (500 to 10000)"},
      {"A=dot 0", "dot 0 is out of range (1 to 255)"},
      {"A=", "no settings after the \"=\""},
      {"digits 4", "no \"=\" after the tuner name"},
      {"A b=DIGITS 8 pause 2000", ""},
      {"  ; a comment", ""}};
  for (const auto& [text, problem] : cases) {
    RecipeLine line;
    parseRecipeLine(text, line);
    EXPECT_EQ(line.problem, problem) << text;
  }
  RecipeLine spaced;
  parseRecipeLine("A b=DIGITS 8 pause 2000", spaced);
  EXPECT_EQ(spaced.name, "A b");
  EXPECT_EQ(describeRecipe(spaced.recipe), "digits 8 pause 2000");
}

}  // namespace
}  // namespace tuner
