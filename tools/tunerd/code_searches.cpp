#include "code_searches.h"

#include <algorithm>

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

}  // namespace

CodeSearches::~CodeSearches() {
  {
    std::lock_guard<std::mutex> held(lock_);
    for (auto& [id, search] : searches_) search->stop = true;
    changed_.notify_all();
  }
  for (auto& [id, search] : searches_) search->thread.join();
}

int CodeSearches::start(const SearchRequest& request, std::string& why) {
  std::unique_lock<std::mutex> held(lock_);
  std::size_t running = 0;
  for (const auto& [id, search] : searches_) {
    if (search->phase == Phase::kConfirmed || search->phase == Phase::kEnded) continue;
    ++running;
    if (search->asked.port == request.port) {
      why = "a search already runs on " + request.port + " (search " + std::to_string(id) + ")";
      return 0;
    }
  }
  if (running >= kMaxSearches) {
    why = std::to_string(kMaxSearches) + " searches are running";
    return 0;
  }
  // Ended searches are kept for their last state until there are too many.
  std::unique_ptr<Search> oldest;
  for (auto it = searches_.begin(); searches_.size() >= kMaxSearches * 2 && it != searches_.end();
       ++it) {
    if (it->second->phase == Phase::kConfirmed || it->second->phase == Phase::kEnded) {
      oldest = std::move(it->second);
      searches_.erase(it);
      break;
    }
  }
  auto search = std::make_unique<Search>();
  search->id = ++lastId_;
  search->asked = request;
  search->seen = Clock::now();
  search->message = "waiting for the blaster on " + request.port;
  Search& started = *search;
  searches_[started.id] = std::move(search);
  started.thread = std::thread([this, &started] { run(started); });
  held.unlock();
  if (oldest) oldest->thread.join();
  return started.id;
}

bool CodeSearches::state(int id, nlohmann::json& state) {
  std::lock_guard<std::mutex> held(lock_);
  const auto found = searches_.find(id);
  if (found == searches_.end()) return false;
  Search& search = *found->second;
  search.seen = Clock::now();
  const SearchRequest& asked = search.asked;
  const int total = asked.to - asked.from + 1;
  state =
      nlohmann::json{{"id", id},
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
  return true;
}

bool CodeSearches::reacted(int id, std::string& why) {
  std::lock_guard<std::mutex> held(lock_);
  const auto found = searches_.find(id);
  if (found == searches_.end() || found->second->phase != Phase::kStepping) {
    why = "the search is not sending codes";
    return false;
  }
  found->second->reacted = true;
  found->second->phase = Phase::kResending;
  found->second->message = "the last code sets are sent again";
  found->second->seen = Clock::now();
  changed_.notify_all();
  return true;
}

bool CodeSearches::answer(int id, bool yes, std::string& why) {
  std::lock_guard<std::mutex> held(lock_);
  const auto found = searches_.find(id);
  if (found == searches_.end() || found->second->phase != Phase::kAsking) {
    why = "the search asks nothing now";
    return false;
  }
  found->second->answer = yes ? 1 : 0;
  found->second->phase = Phase::kResending;
  found->second->seen = Clock::now();
  changed_.notify_all();
  return true;
}

bool CodeSearches::stop(int id) {
  std::lock_guard<std::mutex> held(lock_);
  const auto found = searches_.find(id);
  if (found == searches_.end()) return false;
  found->second->stop = true;
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

void CodeSearches::run(Search& search) {
  const SearchRequest& asked = search.asked;
  BlasterPool::NoTurn why{};
  const auto turn = service_.blasters.take(
      asked.port, kSearchConnections + static_cast<std::uint64_t>(search.id), 0,
      [&] {
        std::lock_guard<std::mutex> held(lock_);
        return stopped(search);
      },
      why, true);
  if (!turn) {
    end(search, Phase::kEnded,
        why == BlasterPool::NoTurn::kSearching
            ? "a code-set search is running on " + asked.port
            : "the blaster on " + asked.port + " was not free: nothing was sent");
    return;
  }
  tuner::OpenBlaster& blaster = turn->blaster();
  if (!blaster.reclaim(asked.port.c_str())) {
    end(search, Phase::kEnded, tuner::portProblemSentence(asked.port.c_str(), blaster.problem()));
    return;
  }
  const auto started = Clock::now();
  for (int code = asked.from;; ++code) {
    {
      std::unique_lock<std::mutex> held(lock_);
      if (stopped(search)) break;
      if (search.reacted && !search.recent.codes().empty()) {
        held.unlock();
        if (narrow(search, blaster)) return;
        held.lock();
      }
      if (code > asked.to) {
        // The box may react to the last code after it was sent.
        search.phase = Phase::kStepping;
        search.message = "every code set was sent: did the box react?";
        const auto until = Clock::now() + tuner::kLastReactionWait;
        while (!search.reacted && !stopped(search) && Clock::now() < until) {
          changed_.wait_for(held, std::chrono::milliseconds(200));
        }
        if (search.reacted && !stopped(search)) {
          held.unlock();
          if (narrow(search, blaster)) return;
          held.lock();
        }
        if (stopped(search)) break;
        search.phase = Phase::kEnded;
        search.message = "no code set from " + tuner::codeSetText(asked.ueitype, asked.from) +
                         " to " + tuner::codeSetText(asked.ueitype, asked.to) + " was confirmed";
        return;
      }
      search.phase = Phase::kStepping;
      search.message = "sending code set " + tuner::codeSetText(asked.ueitype, code);
    }
    if (!blaster.press(asked.key, asked.ueitype, code)) {
      end(search, Phase::kEnded,
          "the blaster on " + asked.port +
              " stopped acknowledging keys: check its cable and power; the last code set sent "
              "was " +
              tuner::codeSetText(asked.ueitype, code));
      return;
    }
    std::lock_guard<std::mutex> held(lock_);
    search.code = code;
    search.recent.sent(code);
    search.done = code - asked.from + 1;
    search.perCode = std::chrono::duration<double>(Clock::now() - started).count() / search.done;
  }
  std::lock_guard<std::mutex> held(lock_);
  search.phase = Phase::kEnded;
  search.message = std::string(search.stop         ? "stopped"
                               : service_.stopping ? "stopped: tunerd is stopping"
                                                   : "stopped: the page stopped asking") +
                   "; the last code set sent was " +
                   tuner::codeSetText(asked.ueitype, std::max(search.code, asked.from));
}

bool CodeSearches::narrow(Search& search, tuner::OpenBlaster& blaster) {
  std::deque<int> codes;
  {
    std::lock_guard<std::mutex> held(lock_);
    codes = search.recent.codes();
  }
  const SearchRequest& asked = search.asked;
  for (int code : codes) {
    {
      std::lock_guard<std::mutex> held(lock_);
      search.phase = Phase::kResending;
      search.message = "sending code set " + tuner::codeSetText(asked.ueitype, code) + " again";
    }
    if (!blaster.press(asked.key, asked.ueitype, code)) {
      end(search, Phase::kEnded,
          "the blaster on " + asked.port +
              " stopped acknowledging keys: check its cable and power");
      return true;
    }
    std::unique_lock<std::mutex> held(lock_);
    search.phase = Phase::kAsking;
    search.code = code;
    search.answer = -1;
    search.message = "code set " + tuner::codeSetText(asked.ueitype, code) +
                     " was sent again: did the box react?";
    // Asked again and again: a page that stops asking stops the search.
    while (search.answer < 0 && !stopped(search)) {
      changed_.wait_for(held, std::chrono::milliseconds(200));
    }
    if (stopped(search)) return false;
    if (search.answer == 1) {
      search.phase = Phase::kConfirmed;
      search.message = "code set " + tuner::codeSetText(asked.ueitype, code) +
                       " confirmed; a tuner.txt line to start from: " +
                       tuner::tunerLineToStart(asked.port, asked.ueitype, code);
      return true;
    }
  }
  std::lock_guard<std::mutex> held(lock_);
  search.reacted = false;
  search.recent.clear();
  search.phase = Phase::kStepping;
  search.message = "none of them: the search goes on";
  return false;
}

}  // namespace tunerd
