// tunerd's clients: each connection in a thread of its own, reading request lines of at most
// kMaxRequestLength bytes and answering each in turn. At most kMaxClients at once, of which one
// user (a uid on the Unix socket, an address on TCP) has at most kMaxClientsPerUser and TCP at
// most kMaxTcpClients; a client that sends no whole request for kClientIdle, or does not take a
// reply within kSendDeadline, is closed. HTTP clients have room of their own, kMaxWebClients,
// of which one address has at most kMaxClientsPerUser; when it is full, the client that has
// gone longest without a whole request (idle, or sending one slowly) makes room for a new one.
// A client for whom no thread can be made is refused as one without room.
#pragma once

#include "service_limits.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "listeners.h"
#include "requests.h"
#include "socket_io.h"
#include "web_site.h"

namespace tunerd {

class Connections {
 public:
  // ended is called from a connection's thread as it ends, so that reap() can be called.
  // site serves the HTTP clients, if there are any.
  Connections(Service& service, WebSite* site, std::function<void()> ended)
      : service_(service), site_(site), ended_(std::move(ended)) {}
  ~Connections() { joinAll(); }

  // Serves the accepted, non-blocking socket; false, with why, when the limits leave no room for
  // the peer (the socket is then still the caller's).
  bool serve(int fd, const Peer& peer, std::string& refusal);

  // Joins the threads of connections that ended.
  void reap();
  // Ends every connection at once (the key in flight is finished) and waits for them.
  void joinAll();

 private:
  struct Connection {
    std::thread thread;
    Peer peer;
    int fd = -1;  // -1 once closed
    bool done = false;
    bool evictable = false;  // an HTTP client without a whole request, since sinceWhole
    bool leaving = false;    // closed to make room, its thread not yet ended
    Clock::time_point sinceWhole;
  };
  void run(std::uint64_t id, Connection& client);
  void runWeb(std::uint64_t id, Connection& client);
  void finish(std::uint64_t id, Connection& client, bool gently);
  // Why there is no room for peer, or empty; the HTTP client longest without a whole request
  // may be closed for it.
  std::string roomFor(const Peer& peer);
  void closeClient(Connection& client, bool gently);

  Service& service_;
  WebSite* site_;
  std::function<void()> ended_;
  std::mutex lock_;
  std::list<std::unique_ptr<Connection>> clients_;
  std::uint64_t lastId_ = 0;
};

}  // namespace tunerd
