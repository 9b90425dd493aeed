#include "mqtt_topics.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>

#include "tuner/channel_text.h"

namespace tunerd {
namespace {

// The entity's object id, unique among a tuner's: "living_3f2a9c1b_channel".
std::string objectId(const std::string& id, const std::string& entity) { return id + "_" + entity; }

// The node's part of the discovery topics: "tunerdll_recorder".
std::string discoveryNode(const MqttNames& names) { return names.base + "_" + names.node; }

std::string tunerTopics(const MqttNames& names, const std::string& id) {
  return names.base + "/" + names.node + "/" + id;
}

bool startsWith(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The object id of a discovery topic PREFIX/COMPONENT/NODE/OBJECT/config, or empty.
std::string discoveredObject(const MqttNames& names, const std::string& node,
                             const std::string& topic) {
  const std::string start = names.discovery + "/";
  const std::string end = "/config";
  if (!startsWith(topic, start) || !endsWith(topic, end)) return std::string();
  const std::string middle =
      topic.substr(start.size(), topic.size() - start.size() - end.size());  // COMPONENT/NODE/OBJ
  const std::size_t first = middle.find('/');
  if (first == std::string::npos || middle.compare(first + 1, node.size() + 1, node + "/") != 0) {
    return std::string();
  }
  const std::string object = middle.substr(first + node.size() + 2);
  return object.find('/') == std::string::npos ? object : std::string();
}

// The channels Home Assistant's text entity lets through, from the one channel rule.
std::string channelPattern() {
  return "^[0-9]{1," + std::to_string(tuner::kMaxMajorDigits) + "}([.-][0-9]{1," +
         std::to_string(tuner::kMaxChannelPartDigits) + "})?$";
}

}  // namespace

bool isTopicWord(const std::string& text) {
  return !text.empty() && text.size() <= 64 && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '-';
  });
}

std::string nodeOfHost(const std::string& host) {
  std::string node = host.substr(0, 64);
  for (char& c : node) {
    if (std::isalnum(static_cast<unsigned char>(c)) == 0 && c != '-') c = '_';
  }
  return node.empty() ? "tunerd" : node;
}

std::string topicSafeId(const std::string& name) {
  std::uint32_t hash = 2166136261u;  // FNV-1a
  for (unsigned char c : name) hash = (hash ^ c) * 16777619u;
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08x", hash);
  const std::string made = tuner::slugOf(name);
  return (made.empty() ? "tuner" : made) + "_" + hex;
}

std::string availabilityTopic(const MqttNames& names) {
  return names.base + "/" + names.node + "/status";
}

std::string channelTopic(const MqttNames& names, const std::string& id) {
  return tunerTopics(names, id) + "/channel/set";
}

std::string channelStateTopic(const MqttNames& names, const std::string& id) {
  return tunerTopics(names, id) + "/channel";
}

std::string buttonTopic(const MqttNames& names, const std::string& id, const std::string& button) {
  return tunerTopics(names, id) + "/button/" + button + "/press";
}

std::string favouriteTopic(const MqttNames& names, const std::string& id) {
  return tunerTopics(names, id) + "/favourite/set";
}

std::string favouriteStateTopic(const MqttNames& names, const std::string& id) {
  return tunerTopics(names, id) + "/favourite";
}

std::string resultTopic(const MqttNames& names, const std::string& id) {
  return tunerTopics(names, id) + "/result";
}

std::string homeAssistantStatusTopic(const MqttNames& names) { return names.discovery + "/status"; }

std::vector<std::string> subscriptions(const MqttNames& names) {
  const std::string own = names.base + "/" + names.node;
  return {own + "/+/channel/set",
          own + "/+/button/+/press",
          own + "/+/favourite/set",
          names.discovery + "/+/" + discoveryNode(names) + "/+/config",
          names.discovery + "/+/" + names.base + "/+/config",
          homeAssistantStatusTopic(names)};
}

std::vector<Discovery> discoveryOf(const MqttNames& names, const std::string& tuner,
                                   const std::string& port,
                                   const std::vector<tuner::NamedButton>& buttons,
                                   const std::string& version,
                                   const std::vector<std::string>& favourites) {
  const std::string id = topicSafeId(tuner);
  const std::string unique = discoveryNode(names) + "_" + id;
  const nlohmann::json device{{"identifiers", {unique}},
                              {"name", tuner},
                              {"manufacturer", "TunerDLL"},
                              {"model", "infrared blaster on " + port},
                              {"sw_version", "tunerd " + version}};
  const nlohmann::json origin{{"name", "tunerd"}, {"sw_version", version}};
  std::vector<Discovery> made;
  const auto add = [&](const std::string& component, const std::string& entity,
                       nlohmann::json config) {
    config["unique_id"] = unique + "_" + entity;
    config["default_entity_id"] = component + "." + names.node + "_" + objectId(id, entity);
    config["availability_topic"] = availabilityTopic(names);
    config["device"] = device;
    config["origin"] = origin;
    made.push_back(
        Discovery{names.discovery + "/" + component + "/" + discoveryNode(names) + "/" +
                      objectId(id, entity) + "/config",
                  config.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)});
  };
  add("text", "channel",
      {{"name", "Channel"},
       {"command_topic", channelTopic(names, id)},
       {"state_topic", channelStateTopic(names, id)},
       {"mode", "text"},
       {"min", 1},
       {"max", static_cast<int>(tuner::kMaxMajorDigits + 1 + tuner::kMaxChannelPartDigits)},
       {"pattern", channelPattern()},
       {"icon", "mdi:television-box"}});
  if (!favourites.empty()) {
    add("select", "favourite",
        {{"name", "Favourite"},
         {"command_topic", favouriteTopic(names, id)},
         {"state_topic", favouriteStateTopic(names, id)},
         {"options", favourites},
         {"icon", "mdi:star"}});
  }
  for (const tuner::NamedButton& button : tuner::buttonsWithIds(buttons)) {
    const std::string safe = tuner::buttonId(button.written);
    add("button", "button_" + safe,
        {{"name", button.written},
         {"command_topic", buttonTopic(names, id, safe)},
         {"payload_press", "PRESS"},
         {"icon", "mdi:remote"}});
  }
  add("sensor", "result",
      {{"name", "Last result"},
       {"state_topic", resultTopic(names, id)},
       {"entity_category", "diagnostic"},
       {"icon", "mdi:message-text"}});
  return made;
}

bool readCommandTopic(const MqttNames& names, const std::string& topic, std::string& id,
                      std::string& button, bool* favourite) {
  if (favourite != nullptr) *favourite = false;
  const std::string start = names.base + "/" + names.node + "/";
  if (!startsWith(topic, start)) return false;
  const std::string rest = topic.substr(start.size());
  const std::size_t slash = rest.find('/');
  if (slash == std::string::npos) return false;
  id = rest.substr(0, slash);
  const std::string what = rest.substr(slash);
  if (what == "/channel/set" || what == "/favourite/set") {
    button.clear();
    if (favourite != nullptr) *favourite = what == "/favourite/set";
    return true;
  }
  const std::string pressStart = "/button/";
  const std::string pressEnd = "/press";
  if (what.size() > pressStart.size() + pressEnd.size() && startsWith(what, pressStart) &&
      endsWith(what, pressEnd)) {
    button = what.substr(pressStart.size(), what.size() - pressStart.size() - pressEnd.size());
    return button.find('/') == std::string::npos;
  }
  return false;
}

bool isOwnDiscovery(const MqttNames& names, const std::string& topic) {
  return !discoveredObject(names, discoveryNode(names), topic).empty();
}

bool isFormerDiscoveryOf(const MqttNames& names, const std::string& topic,
                         const std::set<std::string>& ids) {
  const std::string object = discoveredObject(names, names.base, topic);
  return std::any_of(ids.begin(), ids.end(), [&](const std::string& id) {
    return object == objectId(id, "channel") || object == objectId(id, "result") ||
           object == objectId(id, "favourite") || startsWith(object, objectId(id, "button_"));
  });
}

std::string formerResultTopic(const MqttNames& names, const std::string& id) {
  return names.base + "/" + id + "/result";
}

std::string sensorState(const std::string& sentence) {
  if (sentence.size() <= 255) return sentence;
  std::size_t cut = 252;
  // Not inside a UTF-8 sequence.
  while (cut > 0 && (static_cast<unsigned char>(sentence[cut]) & 0xC0) == 0x80) --cut;
  return sentence.substr(0, cut) + "...";
}

}  // namespace tunerd
