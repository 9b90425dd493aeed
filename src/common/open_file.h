// A C stream closed whichever way its scope is left.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace tuner {

// Heap room a stream open needs. The Windows C runtime's fopen turns its own allocation failure
// into an invalid-parameter report, which ends the process: with the heap exhausted, a stream is
// not opened at all.
constexpr std::size_t kStreamOpenRoom = 16 * 1024;

inline bool roomToOpenStream() {
  void* room = std::malloc(kStreamOpenRoom);
  std::free(room);
  return room != nullptr;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using OpenFile = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace tuner
