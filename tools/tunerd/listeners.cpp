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

bool parseNetwork(const std::string& text, Network& network) {
  const std::size_t slash = text.find('/');
  int bits = 32;
  if (slash != std::string::npos) {
    const std::string count = text.substr(slash + 1);
    if (count.find_first_not_of("0123456789") != std::string::npos ||
        !tuner::parseWholeNumber(count, 0, 32, bits)) {
      return false;
    }
  }
  in_addr parsed{};
  if (inet_pton(AF_INET, text.substr(0, slash).c_str(), &parsed) != 1) return false;
  network.mask = bits == 0 ? 0 : ~std::uint32_t{0} << (32 - bits);
  network.address = ntohl(parsed.s_addr) & network.mask;
  return true;
}

bool parseListen(const std::string& text, std::uint32_t& address, int& port) {
  const std::size_t colon = text.rfind(':');
  const std::string portText = colon == std::string::npos ? text : text.substr(colon + 1);
  address = INADDR_LOOPBACK;
  if (colon != std::string::npos) {
    in_addr parsed{};
    if (inet_pton(AF_INET, text.substr(0, colon).c_str(), &parsed) != 1) return false;
    address = ntohl(parsed.s_addr);
  }
  return portText.find_first_not_of("0123456789") == std::string::npos &&
         tuner::parseWholeNumber(portText, 1, 65535, port);
}

bool isLoopback(std::uint32_t address) { return (address >> 24) == 127; }

bool mayServe(std::uint32_t client, const std::vector<Network>& allowed) {
  if (allowed.empty()) return isLoopback(client);
  for (const Network& network : allowed) {
    if ((client & network.mask) == network.address) return true;
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

int listenTcp(std::uint32_t address, int port, std::string& problem) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    problem = failed("socket");
    return -1;
  }
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in bound{};
  bound.sin_family = AF_INET;
  bound.sin_addr.s_addr = htonl(address);
  bound.sin_port = htons(static_cast<std::uint16_t>(port));
  if (bind(fd, reinterpret_cast<sockaddr*>(&bound), sizeof bound) != 0 || listen(fd, 128) != 0) {
    problem = failed("cannot listen on " + addressText(address) + ":" + std::to_string(port));
    close(fd);
    return -1;
  }
  return fd;
}

Peer peerOf(int fd, bool tcp) {
  Peer peer;
  peer.tcp = tcp;
  if (tcp) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
        address.sin_family == AF_INET) {
      peer.user = ntohl(address.sin_addr.s_addr);
      peer.shown = addressText(static_cast<std::uint32_t>(peer.user)) + ":" +
                   std::to_string(ntohs(address.sin_port));
    } else {
      peer.shown = "TCP client";
    }
    return peer;
  }
  ucred credentials{};
  socklen_t length = sizeof credentials;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0) {
    peer.user = credentials.uid;
    peer.shown = "local client uid " + std::to_string(credentials.uid) + " pid " +
                 std::to_string(credentials.pid);
  } else {
    peer.shown = "local client";
  }
  return peer;
}

std::string addressText(std::uint32_t address) {
  in_addr value{};
  value.s_addr = htonl(address);
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &value, text, sizeof text);
  return text;
}

}  // namespace tunerd
