// Where tunerd is reached: its Unix socket (mode 0660, group tunerdll where that group exists)
// and, when asked, a TCP port, whose clients are served only from loopback or the networks
// --allow names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tunerd {

struct Network {
  std::uint32_t address = 0;  // host order
  std::uint32_t mask = 0;
};

// "ADDR" or "ADDR/BITS", IPv4; false for anything else.
bool parseNetwork(const std::string& text, Network& network);

// "[ADDR:]PORT" for --listen; the address is 127.0.0.1 unless given.
bool parseListen(const std::string& text, std::uint32_t& address, int& port);

bool isLoopback(std::uint32_t address);

// Whether a TCP client may be served: one on loopback when no --allow was given, else one in a
// network --allow names.
bool mayServe(std::uint32_t client, const std::vector<Network>& allowed);

// A listening socket, or -1 with why in problem.
int listenUnix(const std::string& path, std::string& problem);
int listenTcp(std::uint32_t address, int port, std::string& problem);

std::string addressText(std::uint32_t address);

}  // namespace tunerd
