#include <windows.h>

#include "remotes/file_replace.h"

namespace tuner {

bool replaceFile(const char* from, const char* to) {
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace tuner
