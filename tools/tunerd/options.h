// tunerd's command line.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "listeners.h"

namespace tunerd {

struct Options {
  std::string socketPath = "/run/tunerdll/lircd";
  std::string listen;  // [ADDR:]PORT as given; empty: no TCP
  Address tcpAddress;
  int tcpPort = 0;
  std::string http;  // [ADDR:]PORT as given; empty: no web page
  Address httpAddress;
  int httpPort = 0;
  std::vector<std::string> httpNames;  // further names the web page is reached by
  std::string httpTokenFile;           // the token every API request carries; empty: none
  std::vector<Network> allowed;
  std::string mqtt;  // HOST[:PORT] of the MQTT broker; empty: no MQTT
  std::string mqttHost;
  int mqttPort = 1883;
  std::string mqttUser;
  std::string mqttPasswordFile;
  std::string mqttDiscoveryPrefix = "homeassistant";
  std::string mqttBase = "tunerdll";
  std::string mqttNode;  // empty: from the host name
  std::string mqttCaFile;
  std::string mqttCertFile;
  std::string mqttKeyFile;
  bool help = false;
  bool version = false;
};

// The text of --help; the limits it lists, each a name and what it bounds.
std::string usage();
std::vector<std::pair<std::string, std::string>> limits();

// Fills options from the arguments; false, with why in problem, for a usage error.
bool parseOptions(const std::vector<std::string>& args, Options& options, std::string& problem);

}  // namespace tunerd
