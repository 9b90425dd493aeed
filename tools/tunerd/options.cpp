#include "options.h"

#include <algorithm>

namespace tunerd {

const char kUsage[] =
    "usage: tunerd [--socket PATH] [--listen [ADDR:]PORT] [--http [ADDR:]PORT]\n"
    "              [--http-name NAME[,NAME...]] [--allow NETWORK[,NETWORK...]]\n"
    "       tunerd --help | --version\n"
    "Serves the LIRC daemon's socket protocol for the blasters of the tuner file: each tuner\n"
    "line is a remote named by its tuner name, whose buttons KEY_0 to KEY_9 press the digit keys.\n"
    "  --socket PATH   the Unix socket (default /run/tunerdll/lircd, mode 0660, group tunerdll)\n"
    "  --listen [ADDR:]PORT\n"
    "                  also serve TCP on PORT (lircd's is 8765), on 127.0.0.1 unless ADDR is\n"
    "                  given; an address other than loopback needs --allow. Every user of an\n"
    "                  allowed machine may connect, not only the group tunerdll\n"
    "  --http [ADDR:]PORT\n"
    "                  also serve the web page and its JSON API on PORT, on 127.0.0.1 unless\n"
    "                  ADDR is given; an address other than loopback needs --allow. Anyone who\n"
    "                  may reach it may press keys and search for code sets\n"
    "  --http-name NAME[,NAME...]\n"
    "                  names the web page is reached by, besides addresses, localhost and this\n"
    "                  machine's name (a request naming any other host is refused)\n"
    "  --allow NETWORK[,NETWORK...]\n"
    "                  the TCP and HTTP clients served, as ADDR or ADDR/BITS; others are\n"
    "                  refused and logged (without --allow, loopback clients only); needs\n"
    "                  --listen or --http\n"
    "Requests: SEND_ONCE REMOTE BUTTON... [COUNT] (10 keys at most), LIST [REMOTE [BUTTON]],\n"
    "VERSION, and TUNE REMOTE CHANNEL (the whole channel of up to 8 digits, as MacroTune sends\n"
    "it). One line per request on standard error; SIGTERM ends tunerd after the key in\n"
    "progress; SIGHUP is logged (the files are read afresh for each request).\n"
    "Exit status: 0 stopped by SIGTERM or SIGINT, 2 usage error, 1 it could not listen.\n";

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
          std::uint32_t& address, int& number, std::string& problem) {
  if (given.empty()) return true;
  if (!parseListen(given, address, number)) {
    problem = std::string(option) + ": \"" + given + "\" is not [ADDR:]PORT";
    return false;
  }
  if (!isLoopback(address) && allowed.empty()) {
    problem = std::string(option) + " on " + addressText(address) +
              " serves other machines: name them with --allow";
    return false;
  }
  return true;
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
    } else if (arg == "--socket" && hasValue) {
      options.socketPath = args[++i];
    } else if (arg == "--listen" && hasValue) {
      options.listen = args[++i];
    } else if (arg == "--http" && hasValue) {
      options.http = args[++i];
    } else if (arg == "--http-name" && hasValue) {
      for (const std::string& name : splitList(args[++i])) options.httpNames.push_back(name);
    } else if (arg == "--allow" && hasValue) {
      for (const std::string& item : splitList(args[++i])) {
        Network network;
        if (!parseNetwork(item, network)) {
          problem =
              "--allow: \"" + item + "\" is not an IPv4 address or network (ADDR or ADDR/BITS)";
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
  return port("--listen", options.listen, options.allowed, options.tcpAddress, options.tcpPort,
              problem) &&
         port("--http", options.http, options.allowed, options.httpAddress, options.httpPort,
              problem);
}

}  // namespace tunerd
