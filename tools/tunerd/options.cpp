#include "options.h"

#include <algorithm>

namespace tunerd {

const char kUsage[] =
    "usage: tunerd [--socket PATH] [--listen [ADDR:]PORT [--allow NETWORK[,NETWORK...]]]\n"
    "       tunerd --help | --version\n"
    "Serves the LIRC daemon's socket protocol for the blasters of the tuner file: each tuner\n"
    "line is a remote named by its tuner name, whose buttons KEY_0 to KEY_9 press the digit keys.\n"
    "  --socket PATH   the Unix socket (default /run/tunerdll/lircd, mode 0660, group tunerdll)\n"
    "  --listen [ADDR:]PORT\n"
    "                  also serve TCP on PORT (lircd's is 8765), on 127.0.0.1 unless ADDR is\n"
    "                  given; an address other than loopback needs --allow. Every user of an\n"
    "                  allowed machine may connect, not only the group tunerdll\n"
    "  --allow NETWORK[,NETWORK...]\n"
    "                  the TCP clients served, as ADDR or ADDR/BITS; others are refused and\n"
    "                  logged (without --allow, loopback clients only); needs --listen\n"
    "Requests: SEND_ONCE REMOTE BUTTON... [COUNT] (10 keys at most), LIST [REMOTE [BUTTON]],\n"
    "VERSION, and TUNE REMOTE CHANNEL (the whole channel of up to 8 digits, as MacroTune sends\n"
    "it). One line per request on standard error; SIGTERM ends tunerd after the key in\n"
    "progress; SIGHUP is logged (the files are read afresh for each request).\n"
    "Exit status: 0 stopped by SIGTERM or SIGINT, 2 usage error, 1 it could not listen.\n";

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
    } else if (arg == "--allow" && hasValue) {
      std::string list = args[++i];
      for (std::size_t start = 0; start <= list.size();) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        Network network;
        if (!parseNetwork(list.substr(start, comma - start), network)) {
          problem = "--allow: \"" + list.substr(start, comma - start) +
                    "\" is not an IPv4 address or network (ADDR or ADDR/BITS)";
          return false;
        }
        options.allowed.push_back(network);
        start = comma + 1;
      }
    } else {
      problem = hasValue || arg.compare(0, 2, "--") != 0 ? "unknown argument " + arg
                                                         : arg + " needs a value";
      return false;
    }
  }
  if (options.help || options.version) return true;
  if (!options.allowed.empty() && options.listen.empty()) {
    problem = "--allow names TCP clients: it needs --listen";
    return false;
  }
  if (options.listen.empty()) return true;
  if (!parseListen(options.listen, options.tcpAddress, options.tcpPort)) {
    problem = "--listen: \"" + options.listen + "\" is not [ADDR:]PORT";
    return false;
  }
  if (!isLoopback(options.tcpAddress) && options.allowed.empty()) {
    problem = "--listen on " + addressText(options.tcpAddress) +
              " serves other machines: name them with --allow";
    return false;
  }
  return true;
}

}  // namespace tunerd
