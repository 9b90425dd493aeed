// tunerd's own thread: it sleeps in poll on its listening sockets, the wake pipe and the clients
// it is turning away, and wakes for a client, a signal, a connection that ended, a refusal's
// deadline or a port left open to close.
#pragma once

#include <atomic>
#include <functional>
#include <vector>

#include "blaster_pool.h"
#include "connections.h"
#include "listeners.h"

namespace tunerd {

struct Listening {
  int local = -1;                // the Unix socket
  int tcp = -1;                  // -1: none
  int web = -1;                  // the web page's; -1: none
  std::vector<Network> allowed;  // the TCP clients served (empty: loopback only)
};

// Serves until a stop comes through the wake pipe: 'T' stops, 'H' is a SIGHUP to log, anything
// else a connection that ended.
// hangUp is called for each SIGHUP: whether it reloaded anything (and said so).
void acceptUntilStopped(const Listening& listening, int wake, Connections& connections,
                        BlasterPool& blasters, std::atomic<bool>& stopping,
                        const std::function<bool()>& hangUp);

}  // namespace tunerd
