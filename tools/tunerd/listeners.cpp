#include "listeners.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/whole_number.h"

namespace tunerd {
namespace {

std::string failed(const std::string& what) { return what + ": " + std::strerror(errno); }

}  // namespace

bool Address::isIpv4() const {
  static const std::uint8_t kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
  return std::memcmp(bytes.data(), kMapped, sizeof kMapped) == 0;
}

bool parseAddress(const std::string& text, Address& address) {
  address = Address{};
  in_addr four{};
  if (inet_pton(AF_INET, text.c_str(), &four) == 1) {
    address.bytes[10] = address.bytes[11] = 0xff;
    std::memcpy(address.bytes.data() + 12, &four, 4);
    return true;
  }
  const std::string bare = text.size() > 2 && text.front() == '[' && text.back() == ']'
                               ? text.substr(1, text.size() - 2)
                               : text;
  return inet_pton(AF_INET6, bare.c_str(), address.bytes.data()) == 1;
}

bool parseNetwork(const std::string& text, Network& network) {
  const std::size_t slash = text.find('/');
  const std::string address = text.substr(0, slash);
  if (!parseAddress(address, network.address)) return false;
  // Bits count from the IPv4 part of an address written as IPv4.
  const int most = address.find(':') == std::string::npos ? 32 : 128;
  int bits = most;
  if (slash != std::string::npos) {
    const std::string count = text.substr(slash + 1);
    if (count.find_first_not_of("0123456789") != std::string::npos ||
        !tuner::parseWholeNumber(count, 0, most, bits)) {
      return false;
    }
  }
  network.bits = bits + (most == 32 ? 96 : 0);
  return true;
}

bool parseListen(const std::string& text, Address& address, int& port) {
  const std::size_t colon = text.rfind(':');
  const std::string portText = colon == std::string::npos ? text : text.substr(colon + 1);
  parseAddress("127.0.0.1", address);
  if (colon != std::string::npos) {
    const std::string host = text.substr(0, colon);
    // An IPv6 address only in brackets, so that its last group is never read as the port.
    const bool six = !host.empty() && host.front() == '[';
    if (!parseAddress(host, address) || six == address.isIpv4()) return false;
  }
  return portText.find_first_not_of("0123456789") == std::string::npos &&
         tuner::parseWholeNumber(portText, 1, 65535, port);
}

bool isLoopback(const Address& address) {
  static const Address kLoopback6 = [] {
    Address one;
    one.bytes[15] = 1;
    return one;
  }();
  return (address.isIpv4() && address.bytes[12] == 127) || address == kLoopback6;
}

bool mayServe(const Address& client, const std::vector<Network>& allowed) {
  if (allowed.empty()) return isLoopback(client);
  for (const Network& network : allowed) {
    bool inside = true;
    for (int bit = 0; bit < network.bits && inside; ++bit) {
      const int mask = 0x80 >> (bit % 8);
      inside = (client.bytes[bit / 8] & mask) == (network.address.bytes[bit / 8] & mask);
    }
    if (inside) return true;
  }
  return false;
}

int listenUnix(const std::string& path, int& lock, std::string& problem) {
  sockaddr_un address{};
  if (path.size() >= sizeof address.sun_path) {
    problem = "socket path " + path + " is too long";
    return -1;
  }
  lock = open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (lock < 0) {
    problem = failed("cannot open " + path + ".lock");
    return -1;
  }
  if (flock(lock, LOCK_EX | LOCK_NB) != 0) {
    problem = "another tunerd serves " + path + " or is starting to";
    close(lock);
    lock = -1;
    return -1;
  }
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  struct stat existing {};
  if (lstat(path.c_str(), &existing) == 0) {
    if (!S_ISSOCK(existing.st_mode)) {
      problem = path + " exists and is not a socket: remove it or give --socket another path";
      return -1;
    }
    // A socket nobody answers on is a dead tunerd's: it goes; a live one's is kept.
    const int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool live =
        probe >= 0 && connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (probe >= 0) close(probe);
    if (live) {
      problem = "another tunerd answers on " + path;
      return -1;
    }
    unlink(path.c_str());
  }
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    problem = failed("socket");
    return -1;
  }
  // Made with mode 0660 from the start: nobody outside the group can connect even for a moment.
  const mode_t previous = umask(0117);
  const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  umask(previous);
  if (!bound || listen(fd, 128) != 0) {
    problem = failed("cannot listen on " + path);
    close(fd);
    return -1;
  }
  if (const group* members = getgrnam("tunerdll")) {
    if (chown(path.c_str(), static_cast<uid_t>(-1), members->gr_gid) != 0 && errno != EPERM) {
      problem = failed("cannot give " + path + " to the group tunerdll");
      close(fd);
      return -1;
    }
  }
  return fd;
}

int listenTcp(const Address& address, int port, std::string& problem) {
  const bool four = address.isIpv4();
  const int fd = socket(four ? AF_INET : AF_INET6, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    problem = failed("socket");
    return -1;
  }
  const int on = 1;
  const int off = 0;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_storage bound{};
  socklen_t length = 0;
  if (four) {
    auto& in = reinterpret_cast<sockaddr_in&>(bound);
    in.sin_family = AF_INET;
    std::memcpy(&in.sin_addr, address.bytes.data() + 12, 4);
    in.sin_port = htons(static_cast<std::uint16_t>(port));
    length = sizeof in;
  } else {
    setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
    auto& in6 = reinterpret_cast<sockaddr_in6&>(bound);
    in6.sin6_family = AF_INET6;
    std::memcpy(&in6.sin6_addr, address.bytes.data(), 16);
    in6.sin6_port = htons(static_cast<std::uint16_t>(port));
    length = sizeof in6;
  }
  const std::string shown = four ? addressText(address) : "[" + addressText(address) + "]";
  if (bind(fd, reinterpret_cast<sockaddr*>(&bound), length) != 0 || listen(fd, 128) != 0) {
    problem = failed("cannot listen on " + shown + ":" + std::to_string(port));
    close(fd);
    return -1;
  }
  return fd;
}

Peer peerOf(int fd, bool tcp) {
  Peer peer;
  peer.tcp = tcp;
  if (tcp) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    int port = 0;
    bool known = getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    if (known && address.ss_family == AF_INET) {
      const auto& in = reinterpret_cast<const sockaddr_in&>(address);
      peer.address.bytes[10] = peer.address.bytes[11] = 0xff;
      std::memcpy(peer.address.bytes.data() + 12, &in.sin_addr, 4);
      port = ntohs(in.sin_port);
    } else if (known && address.ss_family == AF_INET6) {
      const auto& in6 = reinterpret_cast<const sockaddr_in6&>(address);
      std::memcpy(peer.address.bytes.data(), &in6.sin6_addr, 16);
      port = ntohs(in6.sin6_port);
    } else {
      known = false;
    }
    peer.user = addressText(peer.address);
    peer.shown = !known                  ? "TCP client"
                 : peer.address.isIpv4() ? peer.user + ":" + std::to_string(port)
                                         : "[" + peer.user + "]:" + std::to_string(port);
    return peer;
  }
  ucred credentials{};
  socklen_t length = sizeof credentials;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0) {
    peer.user = "uid " + std::to_string(credentials.uid);
    peer.shown = "local client uid " + std::to_string(credentials.uid) + " pid " +
                 std::to_string(credentials.pid);
  } else {
    peer.shown = "local client";
  }
  return peer;
}

std::string addressText(const Address& address) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address.isIpv4()) {
    inet_ntop(AF_INET, address.bytes.data() + 12, text, sizeof text);
  } else {
    inet_ntop(AF_INET6, address.bytes.data(), text, sizeof text);
  }
  return text;
}

}  // namespace tunerd
