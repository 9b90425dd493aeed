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

// A listening socket, non-blocking, or -1 with why in problem. The Unix socket is made while
// holding a lock on PATH.lock, kept in lock for as long as tunerd serves, so that two tunerd
// starting at once never remove each other's socket.
int listenUnix(const std::string& path, int& lock, std::string& problem);
int listenTcp(std::uint32_t address, int port, std::string& problem);

std::string addressText(std::uint32_t address);

// Who a client is: a user of the Unix socket or an address on TCP.
struct Peer {
  bool tcp = false;
  bool web = false;  // an HTTP client

  std::uint64_t user = 0;  // the uid, or the IPv4 address
  std::string shown;       // "local client uid 1000 pid 42", "127.0.0.1:5555"
};

// The peer of an accepted socket.
Peer peerOf(int fd, bool tcp);

}  // namespace tunerd
