#include "code_searches.h"

#include <sys/random.h>

#include <algorithm>
#include <system_error>

#include "common/hex_digits.h"
#include "tuner/control_result.h"

namespace tunerd {
namespace {

using Clock = std::chrono::steady_clock;

// Searches hold their blasters as connections of their own, numbered far from the clients'.
constexpr std::uint64_t kSearchConnections = std::uint64_t{1} << 62;

const char* phaseName(int phase) {
  static const char* const kNames[] = {"waiting", "stepping",  "resending",
                                       "asking",  "confirmed", "ended"};
  return kNames[phase];
}

// 128 random bits in hexadecimal: an id nobody can guess.
std::string newId() {
  unsigned char bytes[16] = {};
  for (std::size_t got = 0; got < sizeof bytes;) {
    const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n > 0) got += static_cast<std::size_t>(n);
  }
  std::string id;
  for (const unsigned char byte : bytes) {
    id += tuner::highHexDigit(byte);
    id += tuner::lowHexDigit(byte);
  }
  return id;
}

bool running(int phase) { return phase < 4; }  // waiting, stepping, resending, asking

}  // namespace

CodeSearches::~CodeSearches() {
  {
    std::lock_guard<std::mutex> held(lock_);
    for (auto& [id, search] : searches_) search->stop = true;
    changed_.notify_all();
  }
  for (auto& [id, search] : searches_) {
    if (search->thread.joinable()) search->thread.join();
  }
}

CodeSearches::Search* CodeSearches::find(const std::string& id) {
  const auto found = searches_.find(id);
  return found == searches_.end() ? nullptr : found->second.get();
}

CodeSearches::Started CodeSearches::start(const SearchRequest& request, const std::string& device,
                                          std::string& id, std::string& why) {
  std::unique_lock<std::mutex> held(lock_);
  std::size_t active = 0;
  for (const auto& [other, search] : searches_) {
    if (!running(static_cast<int>(search->phase))) continue;
    ++active;
    if (search->device == device) {
      why = "a search already runs on " + search->asked.port;
      return Started::kBusy;
    }
  }
  if (active >= kMaxSearches) {
    why = std::to_string(kMaxSearches) + " searches are running";
    return Started::kBusy;
  }
  // Ended searches are kept for their last state until there are too many.
  std::unique_ptr<Search> oldest;
  for (auto it = searches_.begin(); searches_.size() >= kMaxSearches * 2 && it != searches_.end();
       ++it) {
    if (!running(static_cast<int>(it->second->phase))) {
      oldest = std::move(it->second);
      searches_.erase(it);
      break;
    }
  }
  auto search = std::make_unique<Search>();
  search->id = newId();
  search->connection = kSearchConnections + ++lastConnection_;
  search->asked = request;
  search->device = device;
  search->seen = Clock::now();
  search->message = "waiting for the blaster on " + request.port;
  Search& started = *search;
  try {
    started.thread = std::thread([this, &started] { run(started); });
  } catch (const std::system_error& failure) {
    why = std::string("tunerd cannot start a thread for the search: ") + failure.what();
    held.unlock();
    if (oldest && oldest->thread.joinable()) oldest->thread.join();
    return Started::kNoThread;
  }
  id = started.id;
  searches_[id] = std::move(search);
  held.unlock();
  if (oldest && oldest->thread.joinable()) oldest->thread.join();
  return Started::kStarted;
}

nlohmann::json CodeSearches::describe(const Search& search) const {
  const SearchRequest& asked = search.asked;
  const int total = asked.to - asked.from + 1;
  return nlohmann::json{
      {"id", search.id},
      {"port", asked.port},
      {"ueitype", asked.ueitype},
      {"key", asked.key},
      {"from", asked.from},
      {"to", asked.to},
      {"phase", phaseName(static_cast<int>(search.phase))},
      {"code", search.code},
      {"codeSet", tuner::codeSetText(asked.ueitype, std::max(search.code, 0))},
      {"done", search.done},
      {"total", total},
      {"timeLeft", tuner::timeLeftText(search.perCode, total - search.done)},
      {"line", search.phase == Phase::kConfirmed
                   ? tuner::tunerLineToStart(asked.port, asked.ueitype, search.code)
                   : std::string()},
      {"message", search.message}};
}

bool CodeSearches::state(const std::string& id, nlohmann::json& state) {
  std::lock_guard<std::mutex> held(lock_);
  const Search* search = find(id);
  if (search == nullptr) return false;
  state = describe(*search);
  return true;
}

bool CodeSearches::watch(const std::string& id, nlohmann::json& state) {
  std::lock_guard<std::mutex> held(lock_);
  Search* search = find(id);
  if (search == nullptr) return false;
  search->seen = Clock::now();
  state = describe(*search);
  return true;
}

bool CodeSearches::reacted(const std::string& id, std::string& why) {
  std::lock_guard<std::mutex> held(lock_);
  Search* search = find(id);
  if (search == nullptr || search->phase != Phase::kStepping) {
    why = "the search is not sending codes";
    return false;
  }
  search->reacted = true;
  search->phase = Phase::kResending;
  search->message = "the last code sets are sent again";
  search->seen = Clock::now();
  changed_.notify_all();
  return true;
}

bool CodeSearches::answer(const std::string& id, bool yes, std::string& why) {
  std::lock_guard<std::mutex> held(lock_);
  Search* search = find(id);
  if (search == nullptr || search->phase != Phase::kAsking) {
    why = "the search asks nothing now";
    return false;
  }
  search->answer = yes ? 1 : 0;
  search->phase = Phase::kResending;
  search->seen = Clock::now();
  changed_.notify_all();
  return true;
}

bool CodeSearches::stop(const std::string& id) {
  std::lock_guard<std::mutex> held(lock_);
  Search* search = find(id);
  if (search == nullptr) return false;
  search->stop = true;
  changed_.notify_all();
  return true;
}

bool CodeSearches::stopped(Search& search) {
  return search.stop || service_.stopping || Clock::now() - search.seen > kSearchWatch;
}

void CodeSearches::end(Search& search, Phase phase, const std::string& message) {
  std::lock_guard<std::mutex> held(lock_);
  search.phase = phase;
  search.message = message;
}

void CodeSearches::endStopped(Search& search) {
  search.phase = Phase::kEnded;
  const std::string last =
      tuner::codeSetText(search.asked.ueitype, std::max(search.code, search.asked.from));
  if (search.unanswered) {
    search.message = "no answer for " + std::to_string(kQuestionWait.count()) +
                     " s: the search ended; the last code set sent was " + last;
    return;
  }
  search.message = std::string(search.stop         ? "stopped"
                               : service_.stopping ? "stopped: tunerd is stopping"
                                                   : "stopped: the page stopped asking") +
                   "; the last code set sent was " + last;
}

}  // namespace tunerd
