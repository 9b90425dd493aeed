// Where tunerd is reached: its Unix socket (mode 0660, group tunerdll where that group exists)
// and, when asked, a TCP port, whose clients are served only from loopback or the networks
// --allow names.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tunerd {

// An address of either family: an IPv4 one as IPv4-mapped IPv6 (::ffff:a.b.c.d), so that a
// client is the same address whichever socket it came on.
struct Address {
  std::array<std::uint8_t, 16> bytes{};
  bool isIpv4() const;
  bool operator==(const Address& other) const { return bytes == other.bytes; }
};

struct Network {
  Address address;
  int bits = 0;  // of the 128
};

// An IPv4 address, or an IPv6 one (in brackets or not); false for anything else.
bool parseAddress(const std::string& text, Address& address);

// "ADDR" or "ADDR/BITS", IPv4 or IPv6; false for anything else.
bool parseNetwork(const std::string& text, Network& network);

// "[ADDR:]PORT" for --listen and --http, an IPv6 address in brackets ([::]:8080); the address
// is 127.0.0.1 unless given.
bool parseListen(const std::string& text, Address& address, int& port);

bool isLoopback(const Address& address);

// Whether a TCP client may be served: one on loopback when no --allow was given, else one in a
// network --allow names.
bool mayServe(const Address& client, const std::vector<Network>& allowed);

// A listening socket, non-blocking, or -1 with why in problem. The Unix socket is made while
// holding a lock on PATH.lock, kept in lock for as long as tunerd serves, so that two tunerd
// starting at once never remove each other's socket.
int listenUnix(const std::string& path, int& lock, std::string& problem);
// The IPv6 any-address takes IPv4 clients too.
int listenTcp(const Address& address, int port, std::string& problem);

// "192.168.1.5", "fd00::5".
std::string addressText(const Address& address);

// Who a client is: a user of the Unix socket or an address on TCP.
struct Peer {
  bool tcp = false;
  bool web = false;   // an HTTP client
  Address address;    // on TCP
  std::string user;   // who the limits count: "uid 1000", or the address
  std::string shown;  // "local client uid 1000 pid 42", "127.0.0.1:5555", "[::1]:5555"
};

// The peer of an accepted socket.
Peer peerOf(int fd, bool tcp);

}  // namespace tunerd
