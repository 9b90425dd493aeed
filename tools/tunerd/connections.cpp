#include "connections.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "lirc_protocol.h"

namespace tunerd {
namespace {

// A request as the log shows it: bytes other than printable ASCII as ?, cut to 120 characters.
std::string shown(const std::string& line) {
  std::string text = line.substr(0, 120);
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f) c = '?';
  }
  return line.size() > 120 ? text + "..." : text;
}

bool sendAll(int fd, const std::string& text) {
  std::size_t sent = 0;
  while (sent < text.size()) {
    const ssize_t n = send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

// Closes a connection so that a reply sent just before reaches the client: input it sent
// meanwhile is read and dropped, for half a second at the most, rather than answered by a reset.
void closeGently(int fd) {
  shutdown(fd, SHUT_WR);
  const auto until = Clock::now() + std::chrono::milliseconds(500);
  char dropped[512];
  for (pollfd waiting{fd, POLLIN, 0}; Clock::now() < until && poll(&waiting, 1, 100) > 0;) {
    if (recv(fd, dropped, sizeof dropped, 0) <= 0) break;
  }
  close(fd);
}

}  // namespace

void logLine(const std::string& text) {
  const std::string line = "tunerd: " + text + "\n";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
}

void Connections::serve(int fd, const std::string& peer) {
  std::lock_guard<std::mutex> held(lock_);
  if (clients_.size() >= kMaxClients) {
    logLine("refused " + peer + ": " + std::to_string(kMaxClients) + " clients are connected");
    close(fd);
    return;
  }
  const std::uint64_t id = ++lastId_;
  clients_.push_back(std::make_unique<Client>());
  Client& client = *clients_.back();
  client.thread = std::thread([this, fd, id, peer, &client] { run(fd, id, peer, client); });
}

void Connections::run(int fd, std::uint64_t id, const std::string& peer, Client& client) {
  std::string buffer;
  auto quietSince = Clock::now();
  const std::string who = peer + " #" + std::to_string(id);
  while (!service_.stopping) {
    pollfd waiting{fd, POLLIN, 0};
    const int ready = poll(&waiting, 1, 200);
    if (ready == 0) {
      if (Clock::now() - quietSince < kClientIdle) continue;
      logLine(who + ": closed, nothing sent for 60 s");
      break;
    }
    if (ready < 0 && errno == EINTR) continue;
    char bytes[512];
    const ssize_t n = ready < 0 ? -1 : recv(fd, bytes, sizeof bytes, 0);
    if (n <= 0) break;  // hung up; a half line is dropped
    quietSince = Clock::now();
    buffer.append(bytes, static_cast<std::size_t>(n));
    std::size_t end = 0;
    bool open = true;
    while (open && (end = buffer.find('\n')) != std::string::npos) {
      std::string line = buffer.substr(0, end);
      buffer.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const auto started = Clock::now();
      const Answer answered = answer(service_, line, id);
      const long ms = static_cast<long>(
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count());
      logLine(who + ": " + shown(line) + ": " +
              (answered.success ? "SUCCESS" : "ERROR (" + answered.summary + ")") + " in " +
              std::to_string(ms) + " ms");
      open = sendAll(fd, answered.reply);
      quietSince = Clock::now();
    }
    if (!open) break;
    if (buffer.size() >= kMaxRequestLength) {
      sendAll(fd, reply(shown(buffer), false,
                        {"request longer than " + std::to_string(kMaxRequestLength) +
                         " bytes: connection closed"}));
      logLine(who + ": closed, a request longer than " + std::to_string(kMaxRequestLength) +
              " bytes");
      break;
    }
  }
  closeGently(fd);
  service_.blasters.release(id);
  std::lock_guard<std::mutex> held(lock_);
  client.done = true;
}

void Connections::reap() {
  std::list<std::unique_ptr<Client>> ended;
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
  for (;;) {
    reap();
    {
      std::lock_guard<std::mutex> held(lock_);
      if (clients_.empty()) return;
    }
    // Still running: each ends within a key and a poll.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace tunerd
