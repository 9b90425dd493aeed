// What every way into tunerd shares: the files, the blasters, the stop, and the last result of
// each tuner, whoever asked (irsend, the web page, Home Assistant).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "blaster_pool.h"
#include "log/diagnostic_log.h"

namespace tunerd {

// The last result of each tuner, by the tuner file's spelling of its name.
class LastResults {
 public:
  struct Result {
    int code = 0;
    std::string sentence;
    std::string channel;  // the last channel tuned whole, by any client; empty: none yet
  };
  // A request's outcome; tuned, when given, is the channel it tuned whole.
  void set(const std::string& tuner, int code, const std::string& sentence,
           const std::string& tuned = std::string());
  // Whether the tuner has had a request since tunerd started.
  bool get(const std::string& tuner, Result& result) const;
  // Called, outside the lock, after each set: the MQTT bridge publishes from it.
  void onChange(std::function<void(const std::string&, const Result&)> listener);

 private:
  mutable std::mutex lock_;
  std::map<std::string, Result> results_;
  std::vector<std::function<void(const std::string&, const Result&)>> listeners_;
};

struct Service {
  tuner::DiagnosticLog log;  // the plug-in's trace, while it is on
  std::string configPath;    // the tuner file, read afresh for each request
  std::string recipePath;    // the tuning recipes beside it
  std::string buttonsPath;   // the user's names for other keys, beside it
  std::string channelsPath;  // the channel map and favourites, beside it
  BlasterPool& blasters;
  const std::atomic<bool>& stopping;  // no further key is pressed once it is set
  LastResults& results;
};

// The connection a request came on.
struct Client {
  std::uint64_t id = 0;
  std::function<bool()> gone;  // whether it hung up: its keys not yet pressed are dropped
};

}  // namespace tunerd
