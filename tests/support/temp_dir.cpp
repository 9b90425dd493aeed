#include "temp_dir.h"

#include <stdlib.h>

namespace tuner::testing {

std::filesystem::path TempDir::mkdtempPath(std::string& pattern) {
  const char* made = mkdtemp(pattern.data());
  return made != nullptr ? std::filesystem::path(made) : std::filesystem::path();
}

}  // namespace tuner::testing
