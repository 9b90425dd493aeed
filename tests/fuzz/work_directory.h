// A directory of the fuzzing run's own, removed at exit, for the files the targets read and write.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace fuzzing {

// Kept in static storage of its own: it outlives every destructor, for the removal at exit.
inline char directoryPath[] = "/tmp/tunerdll-fuzz-XXXXXX";

inline const std::string& workDirectory() {
  static const std::string directory = [] {
    if (mkdtemp(directoryPath) == nullptr) std::abort();
    std::atexit([] { std::filesystem::remove_all(directoryPath); });
    return std::string(directoryPath);
  }();
  return directory;
}

}  // namespace fuzzing
