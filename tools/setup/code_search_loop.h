// The one code-set search, for the terminal (tunerctl search) and the web page (tunerd) alike: a
// key is pressed with each code set in turn; when the user says the box reacted, the last few
// code sets are sent again one at a time, each with its question, until the user confirms one.
// Whoever watches the box is an asker the caller supplies; it alone knows how the user speaks.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "blaster/open_blaster.h"

namespace tuner {

struct CodeSearchPlan {
  std::string port;
  int ueitype = 0;
  int key = 1;
  int from = 0;
  int to = 0;
};

class SearchAsker {
 public:
  enum class Heard { kNothing, kReacted, kStop };
  enum class Answer { kYes, kNo, kStop };
  virtual ~SearchAsker() = default;
  // Between two code sets, without waiting: what the user said since the last look.
  virtual Heard heard() = 0;
  // Whether the search is to stop, without taking anything the user said.
  virtual bool stopped() = 0;
  // After the last code set, which the box may still react to: waits up to `wait`.
  virtual Heard awaitReaction(std::chrono::milliseconds wait) = 0;
  // A code set goes out, and went: done of total, at secondsPerCode each so far.
  virtual void sending(int) {}
  virtual void sent(int, int /*done*/, int /*total*/, double /*secondsPerCode*/) {}
  // The recent code sets go out again, one at a time, each followed by its question.
  virtual void narrowing(std::size_t /*count*/) {}
  virtual void resending(int) {}
  virtual Answer ask(int code) = 0;
  // None of them: the search goes on.
  virtual void goesOn() {}
};

struct SearchEnd {
  enum class Kind { kConfirmed, kStopped, kBlasterLost, kNoneConfirmed };
  Kind kind = Kind::kNoneConfirmed;
  int code = 0;  // the code set confirmed, or the last sent (the plan's first if none was)
};

SearchEnd runCodeSearch(OpenBlaster& blaster, const CodeSearchPlan& plan, SearchAsker& asker);

// "the blaster on ttyUSB0 stopped acknowledging keys: check its cable and power"
std::string blasterLostSentence(const std::string& port);

}  // namespace tuner
