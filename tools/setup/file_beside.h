// The files that go with the tuner file lie in its folder: tuning.txt, buttons.txt, channels.txt.
#pragma once

#include <string>

namespace tuner {

inline std::string fileBeside(const std::string& tunerFile, const char* name) {
  const std::size_t separator = tunerFile.find_last_of("/\\");
  return (separator == std::string::npos ? std::string() : tunerFile.substr(0, separator + 1)) +
         name;
}

}  // namespace tuner
