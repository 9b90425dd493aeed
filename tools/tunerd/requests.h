// One request of one connection, answered as lircd answers it: SEND_ONCE, LIST, VERSION and
// tunerd's own TUNE remote channel; every ERROR says why in the plug-in's own sentences.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "blaster_pool.h"
#include "log/diagnostic_log.h"

namespace tunerd {

struct Service {
  tuner::DiagnosticLog log;  // the plug-in's trace, while it is on
  std::string configPath;    // the tuner file, read afresh for each request
  std::string recipePath;    // the tuning recipes beside it
  std::string buttonsPath;   // the user's names for other keys, beside it
  BlasterPool& blasters;
  const std::atomic<bool>& stopping;  // no further key is pressed once it is set
};

// The connection a request came on.
struct Client {
  std::uint64_t id = 0;
  std::function<bool()> gone;  // whether it hung up: its keys not yet pressed are dropped
};

struct Answer {
  std::string reply;  // the whole reply packet
  bool success = false;
  std::string summary;  // the sentence of an ERROR, for the log
  bool close = false;   // the line was no request (an HTTP header, say): nothing more is read
};

Answer answer(Service& service, const std::string& line, const Client& client);

}  // namespace tunerd
