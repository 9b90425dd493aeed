#include <cstdio>

#include "remotes/file_replace.h"

namespace tuner {

bool replaceFile(const char* from, const char* to) { return std::rename(from, to) == 0; }

}  // namespace tuner
