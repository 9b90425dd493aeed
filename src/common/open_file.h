// A C stream closed whichever way its scope is left.
#pragma once

#include <cstdio>
#include <memory>

namespace tuner {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using OpenFile = std::unique_ptr<std::FILE, FileCloser>;

inline OpenFile openFile(const char* path, const char* mode) {
  return OpenFile(std::fopen(path, mode));
}

}  // namespace tuner
