// tunerd's help: its options, then the limits it holds its clients to, from their constants.
#include <string>

#include "options.h"
#include "service_limits.h"

namespace tunerd {
namespace {

const char kOptions[] =
    "usage: tunerd [--socket PATH] [--listen [ADDR:]PORT] [--http [ADDR:]PORT]\n"
    "              [--http-name NAME[,NAME...]] [--http-token-file PATH]\n"
    "              [--allow NETWORK[,NETWORK...]]\n"
    "              [--mqtt HOST[:PORT] [--mqtt-user NAME --mqtt-password-file PATH]\n"
    "               [--mqtt-cafile PATH [--mqtt-certfile PATH --mqtt-keyfile PATH]]\n"
    "               [--mqtt-node NAME] [--mqtt-discovery-prefix PREFIX] [--mqtt-base TOPIC]]\n"
    "       tunerd --help | --version\n"
    "Serves the LIRC daemon's socket protocol for the blasters of the tuner file: each tuner\n"
    "line is a remote named by its tuner name, whose buttons KEY_0 to KEY_9 press the digit keys.\n"
    "  --socket PATH   the Unix socket (default /run/tunerdll/lircd, mode 0660, group tunerdll)\n"
    "  --listen [ADDR:]PORT\n"
    "                  also serve TCP on PORT (lircd's is 8765), on 127.0.0.1 unless ADDR is\n"
    "                  given ([::]:PORT for IPv6 and IPv4); an address other than loopback\n"
    "                  needs --allow. Every user of an allowed machine may connect, not only\n"
    "                  the group tunerdll\n"
    "  --http [ADDR:]PORT\n"
    "                  also serve the web page and its JSON API on PORT, on 127.0.0.1 unless\n"
    "                  ADDR is given (as for --listen); an address other than loopback needs\n"
    "                  --allow. Anyone who may reach it may press keys and search for code\n"
    "                  sets, unless --http-token-file is given\n"
    "  --http-name NAME[,NAME...]\n"
    "                  names the web page is reached by, besides addresses, localhost and this\n"
    "                  machine's name (a request naming any other host is refused)\n"
    "  --http-token-file PATH\n"
    "                  every API request must carry the token on PATH's first line, as\n"
    "                  \"Authorization: Bearer TOKEN\" (the page asks for it once)\n"
    "  --allow NETWORK[,NETWORK...]\n"
    "                  the TCP and HTTP clients served, as ADDR or ADDR/BITS; others are\n"
    "                  refused and logged (without --allow, loopback clients only); needs\n"
    "                  --listen or --http\n"
    "  --mqtt HOST[:PORT]\n"
    "                  also connect to the MQTT broker on HOST (port 1883 unless given) and\n"
    "                  publish every tuner to Home Assistant: a Channel text, its named buttons\n"
    "                  and its last result, with tunerd's availability\n"
    "  --mqtt-user NAME, --mqtt-password-file PATH\n"
    "                  log in to the broker as NAME with the password in PATH (its first line)\n"
    "  --mqtt-cafile PATH\n"
    "                  talk TLS to the broker (its port is often 8883), its certificate checked\n"
    "                  against the CA in PATH and its host name\n"
    "  --mqtt-certfile PATH, --mqtt-keyfile PATH\n"
    "                  with TLS, log in with this client certificate and its key\n"
    "  --mqtt-node NAME\n"
    "                  this recorder's own part of every topic and id (default: its host name),\n"
    "                  so that several recorders share one broker\n"
    "  --mqtt-discovery-prefix PREFIX\n"
    "                  Home Assistant's discovery prefix (default homeassistant)\n"
    "  --mqtt-base TOPIC\n"
    "                  the topic under which tunerd's own live (default tunerdll); the node, the\n"
    "                  prefix and the base are letters, digits, _ and - only\n"
    "Requests: SEND_ONCE REMOTE BUTTON... [COUNT], LIST [REMOTE [BUTTON]], VERSION, and\n"
    "TUNE REMOTE CHANNEL (the whole channel with the tuner's recipe, as MacroTuneChannel sends\n"
    "it). One line per request on standard error; SIGTERM ends tunerd after the key in\n"
    "progress; SIGHUP publishes MQTT's discovery again (the files are read afresh for each\n"
    "request anyway).\n";

std::string number(std::size_t value) { return std::to_string(value); }
template <typename Duration>
std::string seconds(Duration value) {
  return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(value).count()) + " s";
}

}  // namespace

std::vector<std::pair<std::string, std::string>> limits() {
  return {
      {"LIRC clients", number(kMaxClients) + " at once, " + number(kMaxClientsPerUser) +
                           " of one user or address, " + number(kMaxTcpClients) + " over TCP"},
      {"LIRC request", "a line of " + number(kMaxRequestLength) + " bytes; " +
                           number(tuner::kMaxPresses) + " keys at most (buttons times count)"},
      {"TUNE", "a channel with its recipe, " + number(tuner::kMaxChannelPresses) +
                   " keys at most: sent whole, or refused before any key"},
      {"HTTP clients", number(kMaxWebClients) + " at once, " + number(kMaxClientsPerUser) +
                           " of one address; the one longest without a whole request makes room"},
      {"HTTP request", "whole within " + seconds(kRequestTime) + ": a head of " +
                           number(kMaxHeadBytes) + " bytes, a body of " + number(kMaxBodyLength) +
                           " bytes"},
      {"Idle", seconds(kClientIdle) + " between LIRC requests, " + seconds(kWebIdle) +
                   " between HTTP ones"},
      {"Answers", "taken within " + seconds(kSendDeadline)},
      {"A turn", seconds(kTurnWait) + " of waiting at most; a hold of " + number(kHoldPresses) +
                     " keys while others wait"},
      {"Searches", number(kMaxSearches) + " at once, one per blaster; " + seconds(kSearchWatch) +
                       " unwatched, " + seconds(kQuestionWait) + " unanswered"},
      {"Background", number(kMaxBackground) + " requests waiting (\"wait\": false)"},
      {"MQTT", number(kMaxMqttCommands) + " commands waiting, " + number(kMaxMqttPresses) +
                   " presses of one tuner; a channel payload of " + number(kMaxMqttPayload) +
                   " bytes, a favourite's of " + number(kMaxMqttFavourite) +
                   "; the newest channel of a tuner replaces one waiting"},
  };
}

std::string usage() {
  std::string text = kOptions;
  text += "Limits:\n";
  // Each bound after its name, its words wrapped to fit a terminal.
  for (const auto& [what, bound] : limits()) {
    std::string line = "  " + what + std::string(what.size() < 14 ? 14 - what.size() : 1, ' ');
    std::size_t start = 0;
    while (start < bound.size()) {
      std::size_t end = bound.find(' ', start);
      if (end == std::string::npos) end = bound.size();
      const std::string word = bound.substr(start, end - start);
      if (line.size() + word.size() > 78 && line.size() > 16) {
        text += line + "\n";
        line = std::string(16, ' ');
      }
      line += (line.size() > 16 && line.back() != ' ' ? " " : "") + word;
      start = end + 1;
    }
    text += line + "\n";
  }
  return text +
         "Exit status: 0 stopped by SIGTERM or SIGINT, 2 usage error, 1 it could not start (it\n"
         "could not listen, or read a password or token file).\n";
}

}  // namespace tunerd
