#include "mqtt_topics.h"

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

TEST(MqttTopics, CommandTopicsAreReadBackAndNothingElse) {
  const MqttNames names;
  std::string id;
  std::string button;
  ASSERT_TRUE(readCommandTopic(names, channelTopic(names, "living_1"), id, button));
  EXPECT_EQ(id, "living_1");
  EXPECT_EQ(button, "");
  ASSERT_TRUE(readCommandTopic(names, buttonTopic(names, "living_1", "key_enter"), id, button));
  EXPECT_EQ(button, "key_enter");
  for (const char* topic : {"tunerdll/living_1/result", "tunerdll/status", "other/x/channel/set",
                            "tunerdll/x/button//press", "tunerdll/x/button/a/b/press",
                            "tunerdllx/x/channel/set", "tunerdll/x/channel/set/more"}) {
    EXPECT_FALSE(readCommandTopic(names, topic, id, button)) << topic;
  }
  EXPECT_TRUE(isOwnDiscovery(names, "homeassistant/text/tunerdll/living_1_channel/config"));
  EXPECT_FALSE(isOwnDiscovery(names, "homeassistant/text/other/living_1_channel/config"));
  EXPECT_FALSE(isOwnDiscovery(names, "homeassistant/text/tunerdll/living_1_channel/state"));
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
