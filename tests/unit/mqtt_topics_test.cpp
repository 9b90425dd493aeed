#include "mqtt_topics.h"

#include "mqtt_commands.h"

#include <gtest/gtest.h>

namespace tunerd {
namespace {

TEST(MqttTopics, TunerIdsAreTopicSafeStableAndDistinct) {
  EXPECT_EQ(topicSafeId("Living room."), topicSafeId("Living room."));
  EXPECT_NE(topicSafeId("Living."), topicSafeId("living."));
  EXPECT_NE(topicSafeId("A+B."), topicSafeId("A#B."));
  for (const char* name : {"Living room.", "#/+\x01.", "", "\xc3\xa9t\xc3\xa9."}) {
    const std::string id = topicSafeId(name);
    EXPECT_EQ(id.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_"), std::string::npos)
        << id;
    EXPECT_FALSE(id.empty());
  }
}

TEST(MqttTopics, EachRecorderHasTopicsOfItsOwn) {
  MqttNames names;
  names.node = "rec_a";
  MqttNames other = names;
  other.node = "rec_b";
  std::string id;
  std::string button;
  ASSERT_TRUE(readCommandTopic(names, channelTopic(names, "living_1"), id, button));
  EXPECT_EQ(id, "living_1");
  EXPECT_EQ(button, "");
  ASSERT_TRUE(readCommandTopic(names, buttonTopic(names, "living_1", "key_enter"), id, button));
  EXPECT_EQ(button, "key_enter");
  for (const std::string& topic :
       {channelTopic(other, "living_1"), buttonTopic(other, "living_1", "key_enter"),
        std::string("tunerdll/living_1/channel/set"), resultTopic(names, "living_1"),
        availabilityTopic(names), std::string("other/rec_a/x/channel/set"),
        std::string("tunerdll/rec_a/x/button//press"),
        std::string("tunerdll/rec_a/x/button/a/b/press"),
        std::string("tunerdll/rec_a/x/channel/set/more")}) {
    EXPECT_FALSE(readCommandTopic(names, topic, id, button)) << topic;
  }
  EXPECT_NE(availabilityTopic(names), availabilityTopic(other));
  const auto mine = discoveryOf(names, "Living.", "ttyUSB0", {}, "1.0.0");
  const auto theirs = discoveryOf(other, "Living.", "ttyUSB0", {}, "1.0.0");
  for (std::size_t i = 0; i < mine.size(); ++i) {
    EXPECT_TRUE(isOwnDiscovery(names, mine[i].topic)) << mine[i].topic;
    EXPECT_FALSE(isOwnDiscovery(names, theirs[i].topic)) << theirs[i].topic;
    EXPECT_NE(nlohmann::json::parse(mine[i].payload)["unique_id"],
              nlohmann::json::parse(theirs[i].payload)["unique_id"]);
  }
  // What the scheme before nodes published: only this recorder's tuners' is cleared.
  const std::string before = "homeassistant/text/tunerdll/living_1_channel/config";
  EXPECT_TRUE(isFormerDiscoveryOf(names, before, {"living_1"}));
  EXPECT_FALSE(isFormerDiscoveryOf(names, before, {"living_2", "living"}));
  EXPECT_FALSE(isOwnDiscovery(names, before));
  EXPECT_FALSE(isOwnDiscovery(names, "homeassistant/text/tunerdll_rec_a/living_1_channel/state"));
  EXPECT_EQ(nodeOfHost("recorder.lan"), "recorder_lan");
  EXPECT_TRUE(
      isTopicWord(nodeOfHost("r\xc3\xa9"
                             "c/1 +#")));
  for (const char* wrong : {"", "den.x", "den/x", "a b", "x+", "#"}) {
    EXPECT_FALSE(isTopicWord(wrong)) << wrong;
  }
}

TEST(MqttTopics, ButtonsHaveIdsOfTheirOwn) {
  std::vector<std::string> problems;
  const auto kept = tuner::buttonsWithIds({{"KEY_ENTER", "KEY_ENTER", 11},
                                           {"KEY-ENTER", "KEY-ENTER", 12},
                                           {"+++", "+++", 13},
                                           {"---", "---", 14}},
                                          &problems);
  ASSERT_EQ(kept.size(), 3u);
  EXPECT_EQ(kept[1].written, "+++");
  EXPECT_NE(tuner::buttonId("+++"), tuner::buttonId("---"));
  EXPECT_EQ(tuner::buttonId("KEY-ENTER"), "key_enter");
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("KEY-ENTER has the MQTT id key_enter of KEY_ENTER"),
            std::string::npos);
}

TEST(MqttCommands, TheLastChannelWinsAndEachTunerRunsOneAtATime) {
  MqttCommands commands;
  EXPECT_EQ(commands.add({"a", "", "1"}), MqttCommands::Added::kQueued);
  EXPECT_EQ(commands.add({"a", "", "2"}), MqttCommands::Added::kReplaced);
  EXPECT_EQ(commands.add({"b", "", "7"}), MqttCommands::Added::kQueued);
  MqttCommand next;
  ASSERT_TRUE(commands.next(next));
  EXPECT_EQ(next.payload, "2");
  // a runs: a channel for it now waits, and b goes first.
  EXPECT_EQ(commands.add({"a", "", "3"}), MqttCommands::Added::kQueued);
  ASSERT_TRUE(commands.next(next));
  EXPECT_EQ(next.id, "b");
  commands.done("a");
  ASSERT_TRUE(commands.next(next));
  EXPECT_EQ(next.payload, "3");
  for (std::size_t i = 0; i < kMaxMqttPresses; ++i) {
    EXPECT_EQ(commands.add({"c", "key_ok", "PRESS"}), MqttCommands::Added::kQueued);
  }
  EXPECT_EQ(commands.add({"c", "key_ok", "PRESS"}), MqttCommands::Added::kFull);
  for (std::size_t i = kMaxMqttPresses; i < kMaxMqttCommands; ++i) {
    commands.add({"d" + std::to_string(i), "", "5"});
  }
  EXPECT_EQ(commands.add({"e", "", "5"}), MqttCommands::Added::kFull);
  commands.end();
  EXPECT_FALSE(commands.next(next));
}

TEST(MqttTopics, SensorStatesFitHomeAssistant) {
  EXPECT_EQ(sensorState("short"), "short");
  const std::string accents(201, 'a');
  std::string longer = accents;
  for (int i = 0; i < 40; ++i) longer += "\xc3\xa9";  // two bytes each
  const std::string state = sensorState(longer);
  EXPECT_LE(state.size(), 255u);
  EXPECT_EQ(state.substr(state.size() - 3), "...");
  // Never cut inside a character.
  EXPECT_NE(static_cast<unsigned char>(state[state.size() - 4]), 0xc3);
}

}  // namespace
}  // namespace tunerd
