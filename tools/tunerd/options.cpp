#include "options.h"

#include <algorithm>

#include "common/whole_number.h"
#include "mqtt_topics.h"

namespace tunerd {

namespace {

std::vector<std::string> splitList(const std::string& list) {
  std::vector<std::string> items;
  for (std::size_t start = 0; start <= list.size();) {
    const std::size_t comma = std::min(list.find(',', start), list.size());
    items.push_back(list.substr(start, comma - start));
    start = comma + 1;
  }
  return items;
}

// The address and port of --listen or --http, if given; another machine's only with --allow.
bool port(const char* option, const std::string& given, const std::vector<Network>& allowed,
          Address& address, int& number, std::string& problem) {
  if (given.empty()) return true;
  if (!parseListen(given, address, number)) {
    problem = std::string(option) + ": \"" + given + "\" is not [ADDR:]PORT (an IPv6 ADDR in [])";
    return false;
  }
  if (!isLoopback(address) && allowed.empty()) {
    problem = std::string(option) + " on " + addressText(address) +
              " serves other machines: name them with --allow";
    return false;
  }
  return true;
}

bool mqttBroker(Options& options, std::string& problem) {
  if (options.mqtt.empty()) {
    if (!options.mqttUser.empty() || !options.mqttPasswordFile.empty() ||
        !options.mqttCaFile.empty() || !options.mqttCertFile.empty() ||
        !options.mqttKeyFile.empty() || !options.mqttNode.empty()) {
      problem = "the --mqtt-... options need --mqtt";
      return false;
    }
    return true;
  }
  if (options.mqttUser.empty() != options.mqttPasswordFile.empty()) {
    problem = "--mqtt-user and --mqtt-password-file go together";
    return false;
  }
  if (options.mqttCertFile.empty() != options.mqttKeyFile.empty() ||
      (!options.mqttCertFile.empty() && options.mqttCaFile.empty())) {
    problem = "--mqtt-certfile and --mqtt-keyfile go together, with --mqtt-cafile";
    return false;
  }
  const std::size_t colon = options.mqtt.rfind(':');
  options.mqttHost = options.mqtt.substr(0, colon);
  if (options.mqttHost.empty() || options.mqttHost.find_first_of(" /") != std::string::npos ||
      (colon != std::string::npos &&
       !tuner::parseWholeNumber(options.mqtt.substr(colon + 1), 1, 65535, options.mqttPort))) {
    problem = "--mqtt: \"" + options.mqtt + "\" is not HOST[:PORT]";
    return false;
  }
  if (!isTopicWord(options.mqttDiscoveryPrefix) || !isTopicWord(options.mqttBase) ||
      (!options.mqttNode.empty() && !isTopicWord(options.mqttNode))) {
    problem =
        "--mqtt-node, --mqtt-discovery-prefix and --mqtt-base take 1 to 64 letters, digits, _ "
        "and - (Home Assistant takes no other in its discovery topics)";
    return false;
  }
  return true;
}

// The options that take their value as it is.
std::string Options::*textOption(const std::string& arg) {
  static const std::pair<const char*, std::string Options::*> kText[] = {
      {"--socket", &Options::socketPath},
      {"--listen", &Options::listen},
      {"--http", &Options::http},
      {"--http-token-file", &Options::httpTokenFile},
      {"--mqtt", &Options::mqtt},
      {"--mqtt-user", &Options::mqttUser},
      {"--mqtt-password-file", &Options::mqttPasswordFile},
      {"--mqtt-discovery-prefix", &Options::mqttDiscoveryPrefix},
      {"--mqtt-base", &Options::mqttBase},
      {"--mqtt-node", &Options::mqttNode},
      {"--mqtt-cafile", &Options::mqttCaFile},
      {"--mqtt-certfile", &Options::mqttCertFile},
      {"--mqtt-keyfile", &Options::mqttKeyFile},
  };
  for (const auto& [name, member] : kText) {
    if (arg == name) return member;
  }
  return nullptr;
}

}  // namespace

bool parseOptions(const std::vector<std::string>& args, Options& options, std::string& problem) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (std::string Options::*text = textOption(arg); text != nullptr && hasValue) {
      options.*text = args[++i];
    } else if (arg == "--http-name" && hasValue) {
      for (const std::string& name : splitList(args[++i])) options.httpNames.push_back(name);
    } else if (arg == "--allow" && hasValue) {
      for (const std::string& item : splitList(args[++i])) {
        Network network;
        if (!parseNetwork(item, network)) {
          problem = "--allow: \"" + item + "\" is not an address or network (ADDR or ADDR/BITS)";
          return false;
        }
        options.allowed.push_back(network);
      }
    } else {
      problem = hasValue || arg.compare(0, 2, "--") != 0 ? "unknown argument " + arg
                                                         : arg + " needs a value";
      return false;
    }
  }
  if (options.help || options.version) return true;
  if (!options.allowed.empty() && options.listen.empty() && options.http.empty()) {
    problem = "--allow names TCP clients: it needs --listen or --http";
    return false;
  }
  if (!options.httpTokenFile.empty() && options.http.empty()) {
    problem = "--http-token-file guards the web API: it needs --http";
    return false;
  }
  if (!mqttBroker(options, problem)) return false;
  return port("--listen", options.listen, options.allowed, options.tcpAddress, options.tcpPort,
              problem) &&
         port("--http", options.http, options.allowed, options.httpAddress, options.httpPort,
              problem);
}

}  // namespace tunerd
