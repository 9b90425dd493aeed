// A search's own thread: its turn at the blaster, each code set in turn, and the questions once
// the box reacted; it ends as soon as it is stopped, before any further code set.
#include <algorithm>

#include "code_searches.h"
#include "tuner/control_result.h"

namespace tunerd {

using Clock = std::chrono::steady_clock;

void CodeSearches::run(Search& search) {
  const SearchRequest& asked = search.asked;
  BlasterPool::NoTurn why{};
  const auto turn = service_.blasters.take(
      asked.port, search.connection, 0,
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
  std::unique_lock<std::mutex> held(lock_);
  for (int code = asked.from;;) {
    if (stopped(search)) return endStopped(search);
    if (search.reacted && !search.recent.codes().empty()) {
      held.unlock();
      const bool ended = narrow(search, blaster);
      held.lock();
      if (ended) return;
      continue;
    }
    if (code > asked.to) {
      // The box may react to the last code after it was sent.
      search.phase = Phase::kStepping;
      search.message = "every code set was sent: did the box react?";
      const auto until = Clock::now() + tuner::kLastReactionWait;
      while (!search.reacted && !stopped(search) && Clock::now() < until) {
        changed_.wait_for(held, std::chrono::milliseconds(200));
      }
      if (search.reacted || stopped(search)) continue;
      search.phase = Phase::kEnded;
      search.message = "no code set from " + tuner::codeSetText(asked.ueitype, asked.from) +
                       " to " + tuner::codeSetText(asked.ueitype, asked.to) + " was confirmed";
      return;
    }
    search.phase = Phase::kStepping;
    search.message = "sending code set " + tuner::codeSetText(asked.ueitype, code);
    held.unlock();
    const bool acknowledged = blaster.press(asked.key, asked.ueitype, code);
    held.lock();
    if (!acknowledged) {
      search.phase = Phase::kEnded;
      search.message = "the blaster on " + asked.port +
                       " stopped acknowledging keys: check its cable and power; the last code "
                       "set sent was " +
                       tuner::codeSetText(asked.ueitype, code);
      return;
    }
    search.code = code;
    search.recent.sent(code);
    search.done = code - asked.from + 1;
    search.perCode = std::chrono::duration<double>(Clock::now() - started).count() / search.done;
    ++code;
  }
}

bool CodeSearches::narrow(Search& search, tuner::OpenBlaster& blaster) {
  const SearchRequest& asked = search.asked;
  std::unique_lock<std::mutex> held(lock_);
  const std::deque<int> codes = search.recent.codes();
  for (int code : codes) {
    if (stopped(search)) {
      endStopped(search);
      return true;
    }
    search.phase = Phase::kResending;
    search.message = "sending code set " + tuner::codeSetText(asked.ueitype, code) + " again";
    held.unlock();
    const bool acknowledged = blaster.press(asked.key, asked.ueitype, code);
    held.lock();
    if (!acknowledged) {
      search.phase = Phase::kEnded;
      search.message =
          "the blaster on " + asked.port + " stopped acknowledging keys: check its cable and power";
      return true;
    }
    search.phase = Phase::kAsking;
    search.code = code;
    search.answer = -1;
    search.message = "code set " + tuner::codeSetText(asked.ueitype, code) +
                     " was sent again: did the box react?";
    const auto unanswered = Clock::now() + kQuestionWait;
    while (search.answer < 0 && !stopped(search) && Clock::now() < unanswered) {
      changed_.wait_for(held, std::chrono::milliseconds(200));
    }
    if (stopped(search)) {
      endStopped(search);
      return true;
    }
    if (search.answer < 0) {
      search.phase = Phase::kEnded;
      search.message = "no answer for " + std::to_string(kQuestionWait.count()) +
                       " s: the search ended; the last code set sent was " +
                       tuner::codeSetText(asked.ueitype, code);
      return true;
    }
    if (search.answer == 1) {
      search.phase = Phase::kConfirmed;
      search.message = "code set " + tuner::codeSetText(asked.ueitype, code) +
                       " confirmed; a tuner.txt line to start from: " +
                       tuner::tunerLineToStart(asked.port, asked.ueitype, code);
      return true;
    }
  }
  search.reacted = false;
  search.recent.clear();
  search.phase = Phase::kStepping;
  search.message = "none of them: the search goes on";
  return false;
}

}  // namespace tunerd
