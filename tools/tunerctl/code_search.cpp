#include "code_search.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

#include "blaster/open_blaster.h"
#include "code_search_loop.h"
#include "code_search_steps.h"
#include "config_check.h"
#include "host_files.h"
#include "tuner/control_result.h"

namespace {

using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t interrupted = 0;
void onInterrupt(int) { interrupted = 1; }

// The port, opened, set up and probed; closed when the search ends, however it ends.
class SearchPort {
 public:
  explicit SearchPort(const std::string& port)
      : blaster_(tuner::BlasterLink{noTrace_, tuner::platformSerial()}) {
    blaster_.open(port.c_str());
  }

  bool open() const { return blaster_.isOpen(); }
  const tuner::PortProblem& problem() const { return blaster_.problem(); }
  bool press(int key, int ueitype, int ueicode) { return blaster_.press(key, ueitype, ueicode); }
  tuner::OpenBlaster& blaster() { return blaster_; }

 private:
  const tuner::DiagnosticLog noTrace_{std::string()};
  tuner::OpenBlaster blaster_;
};

// Keys one at a time on a terminal while it lives; Ctrl-C noted rather than ending the process,
// so that the port is closed and the resume command printed.
class KeyboardTurn {
 public:
  KeyboardTurn() : previous_(std::signal(SIGINT, onInterrupt)) {
    interrupted = 0;
    setSingleKeys(true);
  }
  ~KeyboardTurn() {
    setSingleKeys(false);
    std::signal(SIGINT, previous_);
  }
  KeyboardTurn(const KeyboardTurn&) = delete;
  KeyboardTurn& operator=(const KeyboardTurn&) = delete;

 private:
  void (*previous_)(int);
};

std::string resumeCommand(const CodeSearch& search, int from) {
  return "tunerctl search " + search.port + " --type " + std::to_string(search.ueitype) +
         " --from " + std::to_string(from) + " --to " + std::to_string(search.to) + " --key " +
         std::to_string(search.key);
}

enum class Typed { kNothing, kReacted, kStop, kEnd };

// Characters read at the most for one answer, or between two keys.
constexpr std::size_t kMaxAnswerLength = 256;

// What the user typed since the last look, without waiting.
Typed listen() {
  if (interrupted) return Typed::kStop;
  // Bounded, so that input that never pauses (a file, /dev/zero) cannot hold the search up.
  std::size_t looked = 0;
  for (int c = pollInput(); c != kNoInput && looked < kMaxAnswerLength; c = pollInput(), ++looked) {
    if (c == kEndOfInput) return Typed::kEnd;
    if (c == 'q' || c == 'Q') return Typed::kStop;
    if (c == '\n') return Typed::kReacted;
  }
  return Typed::kNothing;
}

// One answer line, waited for; false at the end of input, on Ctrl-C, or past the longest answer.
bool readAnswer(std::string& line) {
  line.clear();
  while (!interrupted) {
    const int c = pollInput();
    if (c == kEndOfInput) return false;
    if (c == '\n') return true;
    if (c == kNoInput) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } else if (line.size() < kMaxAnswerLength) {
      line += static_cast<char>(c);
    } else {
      return false;
    }
  }
  return false;
}

}  // namespace

int tryCodeSet(const CodeSearch& search, std::ostream& out, std::ostream& err) {
  SearchPort port(search.port);
  if (!port.open()) {
    err << "tunerctl: try: " << tuner::portProblemSentence(search.port.c_str(), port.problem())
        << "\n";
    return 1;
  }
  const std::string set = tuner::codeSetText(search.ueitype, search.from);
  if (!port.press(search.key, search.ueitype, search.from)) {
    err << "tunerctl: try: the blaster on " << search.port << " did not acknowledge key "
        << search.key << " with code set " << set
        << ": check its cable and power, then try again\n";
    return 1;
  }
  out << "key " << search.key << " with code set " << set << " acknowledged by the blaster on "
      << search.port << "; if the box reacted, a tuner.txt line to start from: "
      << tuner::tunerLineToStart(search.port, search.ueitype, search.from) << "\n";
  return 0;
}

namespace {

// The user at a terminal, or a script on standard input: Enter says the box reacted, q stops,
// y confirms a code set.
class TerminalAsker final : public tuner::SearchAsker {
 public:
  TerminalAsker(const CodeSearch& search, std::ostream& out)
      : search_(search), out_(out), terminal_(inputIsTerminal()) {}

  Heard heard() override {
    const Typed said = listen();
    if (said == Typed::kStop) why_ = "stopped";
    if (said == Typed::kEnd) why_ = "end of input";
    return said == Typed::kReacted                       ? Heard::kReacted
           : said == Typed::kStop || said == Typed::kEnd ? Heard::kStop
                                                         : Heard::kNothing;
  }
  bool stopped() override {
    if (interrupted) why_ = "stopped";
    return interrupted != 0;
  }
  Heard awaitReaction(std::chrono::milliseconds wait) override {
    for (const auto end = Clock::now() + wait; Clock::now() < end;) {
      const Typed said = listen();
      if (said == Typed::kStop) {
        why_ = "stopped";
        return Heard::kStop;
      }
      if (said == Typed::kReacted) return Heard::kReacted;
      if (said == Typed::kEnd) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return Heard::kNothing;
  }
  void sent(int code, int done, int total, double perCode) override {
    if (terminal_) {
      out_ << "\rcode set " << tuner::codeSetText(search_.ueitype, code) << "  " << done << "/"
           << total << " (" << done * 100 / total << "%)  "
           << tuner::timeLeftText(perCode, total - done)
           << " left  [Enter: the box reacted, q: stop] " << std::flush;
    } else if (search_.verbose) {
      out_ << "sent code set " << tuner::codeSetText(search_.ueitype, code) << " (" << done << "/"
           << total << ")\n"
           << std::flush;
    }
  }
  void narrowing(std::size_t count) override {
    if (terminal_) out_ << "\n";
    setSingleKeys(false);
    out_ << "The box reacted to one of the last " << count
         << " code sets: each is sent again; answer y if the box reacts.\n";
  }
  Answer ask(int code) override {
    // A script reads the question as a line of its own.
    out_ << "code set " << tuner::codeSetText(search_.ueitype, code)
         << ": did the box react? [y/n] " << (terminal_ ? "" : "\n") << std::flush;
    std::string answer;
    if (!readAnswer(answer)) {
      why_ = interrupted                         ? "stopped"
             : answer.size() >= kMaxAnswerLength ? "an answer longer than 256 characters"
                                                 : "end of input";
      return Answer::kStop;
    }
    return answer == "y" || answer == "Y" || answer == "yes" ? Answer::kYes : Answer::kNo;
  }
  void goesOn() override {
    out_ << "none of them: the search goes on.\n";
    setSingleKeys(true);
  }
  const std::string& why() const { return why_; }
  bool terminal() const { return terminal_; }

 private:
  const CodeSearch& search_;
  std::ostream& out_;
  const bool terminal_;
  std::string why_ = "stopped";
};

}  // namespace

int searchCodeSets(const CodeSearch& search, std::ostream& out, std::ostream& err) {
  SearchPort port(search.port);
  if (!port.open()) {
    err << "tunerctl: search: " << tuner::portProblemSentence(search.port.c_str(), port.problem())
        << "\n";
    return 1;
  }
  const KeyboardTurn keyboard;
  TerminalAsker asker(search, out);
  if (asker.terminal()) out << "Press Enter as soon as the box reacts, q to stop.\n";
  const tuner::SearchEnd end = tuner::runCodeSearch(
      port.blaster(), {search.port, search.ueitype, search.key, search.from, search.to}, asker);
  const auto stopped = [&](const std::string& why) {
    if (asker.terminal()) out << "\n";
    err << "tunerctl: search: " << why << "; the last code set sent was "
        << tuner::codeSetText(search.ueitype, end.code) << ". To go on from there:\n  "
        << resumeCommand(search, end.code) << "\n";
    return 1;
  };
  switch (end.kind) {
    case tuner::SearchEnd::Kind::kConfirmed:
      out << "code set " << tuner::codeSetText(search.ueitype, end.code)
          << " confirmed; a tuner.txt line to start from: "
          << tuner::tunerLineToStart(search.port, search.ueitype, end.code) << "\n";
      return 0;
    case tuner::SearchEnd::Kind::kStopped:
      return stopped(asker.why());
    case tuner::SearchEnd::Kind::kBlasterLost:
      return stopped(tuner::blasterLostSentence(search.port));
    case tuner::SearchEnd::Kind::kNoneConfirmed:
      break;
  }
  if (asker.terminal()) out << "\n";
  err << "tunerctl: search: no code set from " << tuner::codeSetText(search.ueitype, search.from)
      << " to " << tuner::codeSetText(search.ueitype, search.to) << " was confirmed\n";
  return 1;
}
