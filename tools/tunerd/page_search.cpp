// A search's own thread: its turn at the blaster, then the one code-set search with the page as
// its asker. What the page says arrives through the search's state; what the search does is
// put there for the page to show. Once stopped, no further code set is sent.
#include <algorithm>

#include "code_searches.h"
#include "tuner/control_result.h"

namespace tunerd {

using Clock = std::chrono::steady_clock;

class CodeSearches::Asker final : public tuner::SearchAsker {
 public:
  Asker(CodeSearches& searches, Search& search) : searches_(searches), search_(search) {}

  Heard heard() override {
    std::lock_guard<std::mutex> held(searches_.lock_);
    if (searches_.stopped(search_)) return Heard::kStop;
    return search_.reacted ? Heard::kReacted : Heard::kNothing;
  }
  bool stopped() override {
    std::lock_guard<std::mutex> held(searches_.lock_);
    return searches_.stopped(search_);
  }
  Heard awaitReaction(std::chrono::milliseconds wait) override {
    std::unique_lock<std::mutex> held(searches_.lock_);
    search_.phase = Phase::kStepping;
    search_.message = "every code set was sent: did the box react?";
    const auto until = Clock::now() + wait;
    while (!search_.reacted && !searches_.stopped(search_) && Clock::now() < until) {
      searches_.changed_.wait_for(held, std::chrono::milliseconds(200));
    }
    if (searches_.stopped(search_)) return Heard::kStop;
    return search_.reacted ? Heard::kReacted : Heard::kNothing;
  }
  void sending(int code) override {
    std::lock_guard<std::mutex> held(searches_.lock_);
    search_.phase = Phase::kStepping;
    search_.message = "sending code set " + tuner::codeSetText(search_.asked.ueitype, code);
  }
  void sent(int code, int done, int, double perCode) override {
    std::lock_guard<std::mutex> held(searches_.lock_);
    search_.code = code;
    search_.done = done;
    search_.perCode = perCode;
  }
  void resending(int code) override {
    std::lock_guard<std::mutex> held(searches_.lock_);
    search_.phase = Phase::kResending;
    search_.message =
        "sending code set " + tuner::codeSetText(search_.asked.ueitype, code) + " again";
  }
  // Asked again and again: a page that stops asking, or a question left for kQuestionWait,
  // stops the search.
  Answer ask(int code) override {
    std::unique_lock<std::mutex> held(searches_.lock_);
    search_.phase = Phase::kAsking;
    search_.code = code;
    search_.answer = -1;
    search_.message = "code set " + tuner::codeSetText(search_.asked.ueitype, code) +
                      " was sent again: did the box react?";
    const auto unanswered = Clock::now() + kQuestionWait;
    while (search_.answer < 0 && !searches_.stopped(search_) && Clock::now() < unanswered) {
      searches_.changed_.wait_for(held, std::chrono::milliseconds(200));
    }
    if (searches_.stopped(search_)) return Answer::kStop;
    if (search_.answer < 0) {
      search_.unanswered = true;
      return Answer::kStop;
    }
    return search_.answer == 1 ? Answer::kYes : Answer::kNo;
  }
  void goesOn() override {
    std::lock_guard<std::mutex> held(searches_.lock_);
    search_.reacted = false;
    search_.phase = Phase::kStepping;
    search_.message = "none of them: the search goes on";
  }

 private:
  CodeSearches& searches_;
  Search& search_;
};

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
  Asker asker(*this, search);
  const tuner::SearchEnd ended = tuner::runCodeSearch(blaster, asked, asker);
  std::lock_guard<std::mutex> held(lock_);
  const std::string codeSet = tuner::codeSetText(asked.ueitype, ended.code);
  switch (ended.kind) {
    case tuner::SearchEnd::Kind::kConfirmed:
      search.phase = Phase::kConfirmed;
      search.code = ended.code;
      search.message = "code set " + codeSet + " confirmed; a tuner.txt line to start from: " +
                       tuner::tunerLineToStart(asked.port, asked.ueitype, ended.code);
      break;
    case tuner::SearchEnd::Kind::kStopped:
      endStopped(search);
      break;
    case tuner::SearchEnd::Kind::kBlasterLost:
      search.phase = Phase::kEnded;
      search.message =
          tuner::blasterLostSentence(asked.port) + "; the last code set sent was " + codeSet;
      break;
    case tuner::SearchEnd::Kind::kNoneConfirmed:
      search.phase = Phase::kEnded;
      search.message = "no code set from " + tuner::codeSetText(asked.ueitype, asked.from) +
                       " to " + tuner::codeSetText(asked.ueitype, asked.to) + " was confirmed";
      break;
  }
}

}  // namespace tunerd
