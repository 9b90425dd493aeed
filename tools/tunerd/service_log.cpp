#include "service_log.h"

#include <cstdio>

#include "common/printable_text.h"

namespace tunerd {

void logLine(const std::string& text) {
  const std::string line = "tunerd: " + tuner::printable(text) + "\n";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
}

bool ThrottledLog::log(const std::string& text) {
  std::lock_guard<std::mutex> held(lock_);
  const auto now = std::chrono::steady_clock::now();
  if (now - windowStart_ >= kWindow) {
    windowStart_ = now;
    logged_ = 0;
  }
  if (logged_ >= kLines) {
    ++heldBack_;
    return false;
  }
  ++logged_;
  if (heldBack_ > 0) {
    logLine(text + " (and " + std::to_string(heldBack_) + " more like it not logged)");
    heldBack_ = 0;
  } else {
    logLine(text);
  }
  return true;
}

}  // namespace tunerd
