#include "connections.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "lirc_protocol.h"
#include "service_log.h"
#include "socket_io.h"
#include "web_connection.h"

namespace tunerd {
namespace {

using std::chrono::duration_cast;
using std::chrono::milliseconds;

// A request as the log shows it: cut to 120 bytes (the log line escapes the rest).
std::string shown(const std::string& line) {
  return line.size() > 120 ? line.substr(0, 120) + "..." : line;
}

}  // namespace

std::string Connections::roomFor(const Peer& peer) {
  std::size_t same = 0;
  std::size_t tcp = 0;
  std::size_t web = 0;
  Connection* longest = nullptr;
  Connection* longestSame = nullptr;
  std::size_t lirc = 0;  // ended ones too, until they are reaped
  for (const auto& client : clients_) {
    if (!client->peer.web) ++lirc;
    if (client->done || client->leaving) continue;
    const bool isSame = client->peer.tcp == peer.tcp && client->peer.user == peer.user &&
                        client->peer.web == peer.web;
    if (isSame) ++same;
    if (client->peer.tcp && !client->peer.web) ++tcp;
    if (client->peer.web) ++web;
    if (client->evictable && client->fd >= 0) {
      if (!longest || client->sinceWhole < longest->sinceWhole) longest = client.get();
      if (isSame && (!longestSame || client->sinceWhole < longestSame->sinceWhole)) {
        longestSame = client.get();
      }
    }
  }
  if (peer.web) {
    Connection* making = same >= kMaxClientsPerUser ? longestSame
                         : web >= kMaxWebClients    ? longest
                                                    : nullptr;
    if (making != nullptr) {
      // Its thread sees the socket end and goes; it counts no more.
      shutdown(making->fd, SHUT_RDWR);
      making->evictable = false;
      making->leaving = true;
      --web;
      if (making->peer.user == peer.user) --same;
    }
    if (same >= kMaxClientsPerUser) {
      return std::to_string(kMaxClientsPerUser) + " HTTP clients of this address are busy";
    }
    if (web >= kMaxWebClients) return std::to_string(kMaxWebClients) + " HTTP clients are busy";
    return std::string();
  }
  if (lirc >= kMaxClients) return std::to_string(kMaxClients) + " clients are connected";
  if (same >= kMaxClientsPerUser) {
    return std::to_string(kMaxClientsPerUser) + " clients of " +
           (peer.tcp ? "this address" : "this user") + " are connected";
  }
  if (peer.tcp && tcp >= kMaxTcpClients) {
    return std::to_string(kMaxTcpClients) + " TCP clients are connected";
  }
  return std::string();
}

bool Connections::serve(int fd, const Peer& peer, std::string& refusal) {
  std::lock_guard<std::mutex> held(lock_);
  refusal = roomFor(peer);
  if (!refusal.empty()) return false;
  const std::uint64_t id = ++lastId_;
  clients_.push_back(std::make_unique<Connection>());
  Connection& client = *clients_.back();
  client.peer = peer;
  client.fd = fd;
  client.evictable = peer.web;  // until its first request is whole
  client.sinceWhole = Clock::now();
  try {
    client.thread = std::thread([this, id, &client] {
      if (client.peer.web) {
        runWeb(id, client);
      } else {
        run(id, client);
      }
    });
  } catch (const std::system_error& failure) {
    clients_.pop_back();
    refusal = std::string("tunerd cannot start a thread for it (") + failure.what() + ")";
    return false;
  }
  return true;
}

void Connections::runWeb(std::uint64_t id, Connection& client) {
  const int fd = client.fd;
  // An answer goes out as its head and its body: neither waits for the other's acknowledgement.
  const int noDelay = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
  const Client asking{id, [fd] { return hungUp(fd); }};
  serveWeb(*site_, fd, asking, client.peer.shown + " #" + std::to_string(id), service_.stopping,
           [&](bool whole) {
             std::lock_guard<std::mutex> held(lock_);
             client.evictable = !whole;
             if (!whole) client.sinceWhole = Clock::now();
           });
  {
    // Closing, it holds no place any more.
    std::lock_guard<std::mutex> held(lock_);
    client.leaving = true;
  }
  finish(id, client, !service_.stopping);
}

void Connections::run(std::uint64_t id, Connection& client) {
  const int fd = client.fd;
  const std::string who = client.peer.shown + " #" + std::to_string(id);
  const Client asking{id, [fd] { return hungUp(fd); }};
  std::string buffer;
  auto lastRequest = Clock::now();
  bool gently = true;
  for (bool open = true; open && !service_.stopping;) {
    std::size_t end = 0;
    while (open && (end = buffer.find('\n')) != std::string::npos) {
      const std::string line = buffer.substr(0, end);
      buffer.erase(0, end + 1);
      const auto started = Clock::now();
      const Answer answered = answer(service_, line, asking);
      const long ms =
          static_cast<long>(duration_cast<milliseconds>(Clock::now() - started).count());
      logLine(who + ": " + shown(line) + ": " +
              (answered.success ? "SUCCESS" : "ERROR (" + answered.summary + ")") + " in " +
              std::to_string(ms) + " ms");
      lastRequest = Clock::now();
      if (!sendWithin(fd, answered.reply)) {
        logLine(who + ": closed, its reply was not taken within " +
                std::to_string(kSendDeadline.count()) + " s");
        open = gently = false;
      } else if (answered.close) {
        logLine(who + ": closed, a line that is no request");
        open = false;
      }
    }
    if (!open) break;
    if (buffer.size() >= kMaxRequestLength) {
      sendWithin(fd, reply(buffer.substr(0, 120), false,
                           {"request longer than " + std::to_string(kMaxRequestLength) +
                            " bytes: connection closed"}));
      logLine(who + ": closed, a request longer than " + std::to_string(kMaxRequestLength) +
              " bytes");
      break;
    }
    const auto idleAt = lastRequest + kClientIdle;
    if (Clock::now() >= idleAt) {
      logLine(who + ": closed, no whole request for " + std::to_string(kClientIdle.count()) + " s");
      break;
    }
    pollfd waiting{fd, POLLIN, 0};
    const int ready = poll(&waiting, 1, msUntil(idleAt));
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0) continue;
    char bytes[512];
    const ssize_t n = recv(fd, bytes, sizeof bytes, 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) break;  // hung up; a half line is dropped
    buffer.append(bytes, static_cast<std::size_t>(n));
  }
  finish(id, client, gently && !service_.stopping);
}

void Connections::finish(std::uint64_t id, Connection& client, bool gently) {
  closeClient(client, gently);
  service_.blasters.release(id);
  {
    std::lock_guard<std::mutex> held(lock_);
    client.done = true;
  }
  ended_();
}

// Closes a connection so that a reply sent just before reaches the client: input it sent
// meanwhile is read and dropped, for half a second at the most, rather than answered by a reset.
void Connections::closeClient(Connection& client, bool gently) {
  const int fd = client.fd;
  shutdown(fd, SHUT_WR);
  const auto until = Clock::now() + milliseconds(500);
  char dropped[512];
  for (pollfd waiting{fd, POLLIN, 0}; gently && poll(&waiting, 1, msUntil(until)) > 0;) {
    if (recv(fd, dropped, sizeof dropped, 0) <= 0) break;
  }
  std::lock_guard<std::mutex> held(lock_);
  close(fd);
  client.fd = -1;
}

void Connections::reap() {
  std::list<std::unique_ptr<Connection>> ended;
  {
    std::lock_guard<std::mutex> held(lock_);
    for (auto it = clients_.begin(); it != clients_.end();) {
      if ((*it)->done) {
        ended.push_back(std::move(*it));
        it = clients_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& client : ended) client->thread.join();
}

void Connections::joinAll() {
  service_.blasters.stop();
  std::list<std::unique_ptr<Connection>> all;
  {
    std::lock_guard<std::mutex> held(lock_);
    for (auto& client : clients_) {
      if (client->fd >= 0) shutdown(client->fd, SHUT_RDWR);
    }
    all.swap(clients_);
  }
  for (auto& client : all) client->thread.join();
}

}  // namespace tunerd
