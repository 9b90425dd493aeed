// What a code-set search is, whoever asks the user whether the box reacted (tunerctl on a
// terminal, tunerd's web page): a key is pressed with each code set in turn; when the user says
// the box reacted, the last few code sets are sent again, one at a time, until the user confirms
// one; the confirmed one ends in a tuner.txt line to start from.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <string>

namespace tuner {

// Codes sent again when the user says the box reacted: people react a second or two late, and
// each code takes about a second.
constexpr std::size_t kRecentCodes = 4;
// After the last code, how long a reaction still counts.
constexpr auto kLastReactionWait = std::chrono::seconds(3);

// "2,7"
std::string codeSetText(int ueitype, int ueicode);

// The tuner.txt line to start from: "Tuner1.=ttyUSB0&2,7."
std::string tunerLineToStart(const std::string& port, int ueitype, int ueicode);

// "0:12:05": the time the codes left take at secondsPerCode each.
std::string timeLeftText(double secondsPerCode, int codesLeft);

// The codes sent last, the oldest first, kRecentCodes at most.
class RecentCodes {
 public:
  void sent(int code) {
    codes_.push_back(code);
    if (codes_.size() > kRecentCodes) codes_.pop_front();
  }
  void clear() { codes_.clear(); }
  const std::deque<int>& codes() const { return codes_; }

 private:
  std::deque<int> codes_;
};

}  // namespace tuner
