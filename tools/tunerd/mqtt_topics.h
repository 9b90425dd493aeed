// What tunerd publishes for Home Assistant, as pure functions: the topics of each tuner and its
// discovery messages. Every topic, id and discovery config is its recorder's own (its node), so
// that several recorders share one broker without touching each other's. A tuner's id is its
// name made topic-safe with a short hash of the exact name, so that it stays the same when the
// file is edited and two names never share it.
#pragma once

#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "button_names.h"

namespace tunerd {

struct MqttNames {
  std::string base = "tunerdll";            // tunerd's own topics
  std::string discovery = "homeassistant";  // Home Assistant's discovery prefix
  std::string node;                         // this recorder: from its host name, or --mqtt-node
};

// Whether text can be a word of Home Assistant's discovery topics: 1 to 64 of [a-zA-Z0-9_-].
bool isTopicWord(const std::string& text);
// The node a host name gives: its characters outside that set as "_" ("recorder_lan").
std::string nodeOfHost(const std::string& host);

// "living_room_3f2a9c1b" for "Living room."
std::string topicSafeId(const std::string& name);

// tunerd's availability: "online" while connected, "offline" as its will.
std::string availabilityTopic(const MqttNames& names);
std::string channelTopic(const MqttNames& names, const std::string& id);
// The last channel tuned, by any client (retained).
std::string channelStateTopic(const MqttNames& names, const std::string& id);
std::string buttonTopic(const MqttNames& names, const std::string& id, const std::string& button);
// A favourite (a named channel of channels.txt) to tune, and the last one tuned (retained).
std::string favouriteTopic(const MqttNames& names, const std::string& id);
std::string favouriteStateTopic(const MqttNames& names, const std::string& id);
std::string resultTopic(const MqttNames& names, const std::string& id);
// Home Assistant's own availability: "online" when it has started.
std::string homeAssistantStatusTopic(const MqttNames& names);
// What tunerd subscribes to: every tuner's channel and buttons, its own retained discovery (to
// clear that of tuners no longer in the file), that of the scheme before nodes, and Home
// Assistant's status.
std::vector<std::string> subscriptions(const MqttNames& names);

// A retained discovery message.
struct Discovery {
  std::string topic;
  std::string payload;  // JSON
};

// The discovery of one tuner: a text entity Channel, a select of its favourites (when it has
// named channels), a button per named button that has an id of its own, a sensor with the last
// result.
std::vector<Discovery> discoveryOf(const MqttNames& names, const std::string& tuner,
                                   const std::string& port,
                                   const std::vector<tuner::NamedButton>& buttons,
                                   const std::string& version,
                                   const std::vector<std::string>& favourites = {});

// A command topic taken apart: the tuner's id and the button (empty for the channel, and for a
// favourite, which favourite then says); false for a topic that is no command of tunerd's.
bool readCommandTopic(const MqttNames& names, const std::string& topic, std::string& id,
                      std::string& button, bool* favourite = nullptr);

// Whether topic is a discovery topic of this recorder's own.
bool isOwnDiscovery(const MqttNames& names, const std::string& topic);
// Whether topic is one that the scheme before nodes published for one of these tuner ids: its
// discovery, cleared once tunerd publishes its own.
bool isFormerDiscoveryOf(const MqttNames& names, const std::string& topic,
                         const std::set<std::string>& ids);
std::string formerResultTopic(const MqttNames& names, const std::string& id);

// Home Assistant keeps at most 255 characters of a sensor's state.
std::string sensorState(const std::string& sentence);

}  // namespace tunerd
