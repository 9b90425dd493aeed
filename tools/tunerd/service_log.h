// tunerd's own lines on standard error, for the journal: control bytes escaped, and lines of
// one kind that an attacker can cause (refusals) at a bounded rate.
#pragma once

#include <chrono>
#include <mutex>
#include <string>

namespace tunerd {

// One line, "tunerd: " and the text with every byte outside printable ASCII as \xhh.
void logLine(const std::string& text);

// At most kLines lines per kWindow; the lines held back are counted and told with the next.
class ThrottledLog {
 public:
  static constexpr int kLines = 5;
  static constexpr auto kWindow = std::chrono::seconds(10);

  // Whether the line was written now (false: held back).
  bool log(const std::string& text);

 private:
  std::mutex lock_;
  std::chrono::steady_clock::time_point windowStart_{};
  int logged_ = 0;
  long heldBack_ = 0;
};

}  // namespace tunerd
