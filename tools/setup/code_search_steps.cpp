#include "code_search_steps.h"

#include <cstdio>

namespace tuner {

std::string codeSetText(int ueitype, int ueicode) {
  return std::to_string(ueitype) + "," + std::to_string(ueicode);
}

std::string tunerLineToStart(const std::string& port, int ueitype, int ueicode) {
  return "Tuner1.=" + port + "&" + codeSetText(ueitype, ueicode) + ".";
}

std::string timeLeftText(double secondsPerCode, int codesLeft) {
  const long seconds = static_cast<long>(secondsPerCode * codesLeft + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", seconds / 3600, seconds / 60 % 60,
                seconds % 60);
  return text;
}

}  // namespace tuner
