#include "code_search_loop.h"

#include "code_search_steps.h"

namespace tuner {
namespace {

using Clock = std::chrono::steady_clock;

// The recent code sets sent again, each with its question; true once the search has ended.
bool narrow(OpenBlaster& blaster, const CodeSearchPlan& plan, SearchAsker& asker,
            RecentCodes& recent, SearchEnd& end) {
  asker.narrowing(recent.codes().size());
  for (int code : recent.codes()) {
    asker.resending(code);
    if (!blaster.press(plan.key, plan.ueitype, code)) {
      end = SearchEnd{SearchEnd::Kind::kBlasterLost, code};
      return true;
    }
    switch (asker.ask(code)) {
      case SearchAsker::Answer::kYes:
        end = SearchEnd{SearchEnd::Kind::kConfirmed, code};
        return true;
      case SearchAsker::Answer::kStop:
        end = SearchEnd{SearchEnd::Kind::kStopped, code};
        return true;
      case SearchAsker::Answer::kNo:
        break;
    }
  }
  asker.goesOn();
  recent.clear();
  return false;
}

}  // namespace

std::string blasterLostSentence(const std::string& port) {
  return "the blaster on " + port + " stopped acknowledging keys: check its cable and power";
}

SearchEnd runCodeSearch(OpenBlaster& blaster, const CodeSearchPlan& plan, SearchAsker& asker) {
  RecentCodes recent;
  SearchEnd end{SearchEnd::Kind::kNoneConfirmed, plan.from};
  const int total = plan.to - plan.from + 1;
  const auto started = Clock::now();
  for (int code = plan.from; code <= plan.to; ++code) {
    const SearchAsker::Heard heard = asker.heard();
    if (heard == SearchAsker::Heard::kStop) return SearchEnd{SearchEnd::Kind::kStopped, end.code};
    if (heard == SearchAsker::Heard::kReacted && !recent.codes().empty() &&
        narrow(blaster, plan, asker, recent, end)) {
      return end;
    }
    // A stop that came at any moment sends nothing more.
    if (asker.stopped()) return SearchEnd{SearchEnd::Kind::kStopped, end.code};
    asker.sending(code);
    if (!blaster.press(plan.key, plan.ueitype, code)) {
      return SearchEnd{SearchEnd::Kind::kBlasterLost, code};
    }
    end.code = code;
    recent.sent(code);
    const int done = code - plan.from + 1;
    asker.sent(code, done, total,
               std::chrono::duration<double>(Clock::now() - started).count() / done);
  }
  // The box may react to the last code after it was sent.
  const SearchAsker::Heard heard =
      asker.awaitReaction(std::chrono::duration_cast<std::chrono::milliseconds>(kLastReactionWait));
  if (heard == SearchAsker::Heard::kStop) return SearchEnd{SearchEnd::Kind::kStopped, end.code};
  if (heard == SearchAsker::Heard::kReacted && narrow(blaster, plan, asker, recent, end)) {
    return end;
  }
  return SearchEnd{SearchEnd::Kind::kNoneConfirmed, end.code};
}

}  // namespace tuner
