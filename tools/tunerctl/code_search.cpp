#include "code_search.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

#include "blaster/open_blaster.h"
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

enum class Heard { kNothing, kReacted, kStop, kEnd };

// Characters read at the most for one answer, or between two keys.
constexpr std::size_t kMaxAnswerLength = 256;

// What the user typed since the last look, without waiting.
Heard listen() {
  if (interrupted) return Heard::kStop;
  // Bounded, so that input that never pauses (a file, /dev/zero) cannot hold the search up.
  std::size_t looked = 0;
  for (int c = pollInput(); c != kNoInput && looked < kMaxAnswerLength; c = pollInput(), ++looked) {
    if (c == kEndOfInput) return Heard::kEnd;
    if (c == 'q' || c == 'Q') return Heard::kStop;
    if (c == '\n') return Heard::kReacted;
  }
  return Heard::kNothing;
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

int searchCodeSets(const CodeSearch& search, std::ostream& out, std::ostream& err) {
  SearchPort port(search.port);
  if (!port.open()) {
    err << "tunerctl: search: " << tuner::portProblemSentence(search.port.c_str(), port.problem())
        << "\n";
    return 1;
  }
  const KeyboardTurn keyboard;
  const bool terminal = inputIsTerminal();
  const int total = search.to - search.from + 1;
  tuner::RecentCodes recent;
  int lastSent = search.from;
  const auto started = Clock::now();
  const auto stopped = [&](const char* why) {
    if (terminal) out << "\n";
    err << "tunerctl: search: " << why << "; the last code set sent was "
        << tuner::codeSetText(search.ueitype, lastSent) << ". To go on from there:\n  "
        << resumeCommand(search, lastSent) << "\n";
    return 1;
  };
  const auto blasterLost = [&](int code) {
    lastSent = code;
    return stopped(("the blaster on " + search.port + " stopped acknowledging keys: check its " +
                    "cable and power")
                       .c_str());
  };
  // The box reacted to one of the recent codes: each is sent again until the user confirms one.
  const auto narrow = [&]() {
    if (terminal) out << "\n";
    setSingleKeys(false);
    out << "The box reacted to one of the last " << recent.codes().size()
        << " code sets: each is sent again; answer y if the box reacts.\n";
    for (int code : recent.codes()) {
      if (!port.press(search.key, search.ueitype, code)) return blasterLost(code);
      // A script reads the question as a line of its own.
      out << "code set " << tuner::codeSetText(search.ueitype, code)
          << ": did the box react? [y/n] " << (terminal ? "" : "\n") << std::flush;
      std::string answer;
      if (!readAnswer(answer)) {
        return stopped(interrupted                         ? "stopped"
                       : answer.size() >= kMaxAnswerLength ? "an answer longer than 256 characters"
                                                           : "end of input");
      }
      if (answer == "y" || answer == "Y" || answer == "yes") {
        out << "code set " << tuner::codeSetText(search.ueitype, code)
            << " confirmed; a tuner.txt line to start from: "
            << tuner::tunerLineToStart(search.port, search.ueitype, code) << "\n";
        return 0;
      }
    }
    out << "none of them: the search goes on.\n";
    setSingleKeys(true);
    recent.clear();
    return -1;
  };
  if (terminal) out << "Press Enter as soon as the box reacts, q to stop.\n";
  for (int code = search.from; code <= search.to; ++code) {
    const Heard heard = listen();
    if (heard == Heard::kStop) return stopped("stopped");
    if (heard == Heard::kEnd) return stopped("end of input");
    if (heard == Heard::kReacted && !recent.codes().empty()) {
      const int narrowed = narrow();
      if (narrowed >= 0) return narrowed;
    }
    if (!port.press(search.key, search.ueitype, code)) return blasterLost(code);
    lastSent = code;
    recent.sent(code);
    const int done = code - search.from + 1;
    const double perCode =
        std::chrono::duration<double>(Clock::now() - started).count() / static_cast<double>(done);
    if (terminal) {
      out << "\rcode set " << tuner::codeSetText(search.ueitype, code) << "  " << done << "/"
          << total << " (" << done * 100 / total << "%)  "
          << tuner::timeLeftText(perCode, total - done)
          << " left  [Enter: the box reacted, q: stop] " << std::flush;
    } else if (search.verbose) {
      out << "sent code set " << tuner::codeSetText(search.ueitype, code) << " (" << done << "/"
          << total << ")\n"
          << std::flush;
    }
  }
  // The box may react to the last code after it was sent.
  for (const auto end = Clock::now() + tuner::kLastReactionWait; Clock::now() < end;) {
    const Heard heard = listen();
    if (heard == Heard::kStop) return stopped("stopped");
    if (heard == Heard::kReacted) {
      const int narrowed = narrow();
      if (narrowed >= 0) return narrowed;
      break;
    }
    if (heard == Heard::kEnd) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (terminal) out << "\n";
  err << "tunerctl: search: no code set from " << tuner::codeSetText(search.ueitype, search.from)
      << " to " << tuner::codeSetText(search.ueitype, search.to) << " was confirmed\n";
  return 1;
}
