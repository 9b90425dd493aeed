// tunerd's clients: each connection in a thread of its own, reading request lines of at most
// kMaxRequestLength bytes and answering each in turn; at most kMaxClients at once, and one that
// sends nothing for kClientIdle is closed.
#pragma once

#include <chrono>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "requests.h"

namespace tunerd {

constexpr std::size_t kMaxClients = 64;
constexpr auto kClientIdle = std::chrono::seconds(60);

class Connections {
 public:
  explicit Connections(Service& service) : service_(service) {}
  ~Connections() { joinAll(); }

  // Serves the accepted socket, or closes it (with a log line) past kMaxClients.
  void serve(int fd, const std::string& peer);

  // Joins the threads of connections that ended.
  void reap();
  // Waits for every connection to end (they end once service.stopping is set).
  void joinAll();

 private:
  struct Client {
    std::thread thread;
    bool done = false;
  };
  void run(int fd, std::uint64_t id, const std::string& peer, Client& client);

  Service& service_;
  std::mutex lock_;
  std::list<std::unique_ptr<Client>> clients_;
  std::uint64_t lastId_ = 0;
};

// One line on standard error, for the journal.
void logLine(const std::string& text);

}  // namespace tunerd
